#pragma once

// One running slide show: a frameless window drawing its current slide letterboxed on
// black. Until the frame of a new slide is ready the window keeps the old one, so a step
// never flashes blank.

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

    // Stepping, as the keys and the host's clients do it. Next on the last slide and
    // previous on the first stay where they are.
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
};

} // namespace pa::host
