#pragma once

// One running slide show: a frameless window drawing its current slide letterboxed on
// black. Until the frame of a new slide is ready the window keeps the old one, so a step
// never flashes blank.

#include "presentation_automation/placement/placement.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace pa::host {

class ShowWindow : public QWidget
{
    Q_OBJECT

public:
    ShowWindow(std::int64_t presId, int slideCount, const QString &title);

    std::int64_t presId() const { return m_presId; }
    int currentSlide() const { return m_current; }
    int slideCount() const { return m_count; }
    // The slide whose frame is on screen now (0 before the first frame arrives).
    int shownSlide() const { return m_shownSlide; }
    // The size frames are rendered at: the window in device pixels.
    QSize frameBox() const;

    // The slide's size in points; its shape gives the window's height.
    void setSlideSize(const QSizeF &points) { m_slideSize = points; }
    // A deck set to loop until stopped: Next on the last slide goes to the first.
    void setLoop(bool loop) { m_loop = loop; }
    bool loops() const { return m_loop; }

    // Where the controllers asked for the window, in points from the primary display's corner.
    const RequestedPlacement &requested() const { return m_requested; }
    void setRequestedLeft(double points);
    void setRequestedTop(double points);
    void setRequestedWidth(double points);
    // All three at once, as a show put back after a restart was placed.
    void setRequested(const RequestedPlacement &placement);
    // Fills the primary display, as a show starts.
    void placeFullPrimary();
    // Moves the window to its requested place on these displays. Unless always, a window whose
    // requested rectangle lies on no display stays where the window system put it.
    void placeOn(const DisplayLayout &layout, bool always = true);

    // Stepping, as the keys and the host's clients do it. Next on the last slide stays there
    // unless the deck loops; previous on the first stays there.
    void next();
    void previous();
    // slide must be in 1..slideCount().
    void gotoSlide(int slide);
    void showFrame(const QImage &frame, int slide);
    void endShow();

signals:
    void slideChanged();
    void frameBoxChanged();
    void ended();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    std::int64_t m_presId;
    int m_count;
    int m_current = 1;
    int m_shownSlide = 0;
    QImage m_frame;
    bool m_ended = false;
    bool m_loop = false;
    QSizeF m_slideSize;
    RequestedPlacement m_requested;
};

} // namespace pa::host
