#pragma once

// The clock of what moves on a show window (a transition, a build's effects): ticks at the
// refresh rate of the window's display, time since the start for the picture of each frame,
// and how evenly the frames were drawn, for the status listing.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace pa::host {

struct FramePacing
{
    int frames = 0;
    double longestGapMs = 0; // between two frames drawn
    double periodMs = 0;     // of the display it was paced at
    int lateFrames = 0;      // drawn more than one and a half periods after the one before
};

// "in 31 frames over 0.5 s, 0 late, longest gap 17.20 ms of a 16.67 ms period"
QString pacingText(const FramePacing &pacing, double seconds);

class FramePacer : public QObject
{
    Q_OBJECT

public:
    explicit FramePacer(QWidget *window);

    // Starts the clock and the ticks afresh; the figures of the last run are dropped.
    void start();
    void stop();
    bool active() const { return m_timer.isActive(); }
    double elapsedSeconds() const;
    // A frame was drawn now.
    void frameDrawn();
    const FramePacing &pacing() const { return m_pacing; }

signals:
    void tick();

private:
    QWidget *m_window;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastFrameNs = -1;
    FramePacing m_pacing;
};

} // namespace pa::host
