#pragma once

// Slide transitions drawn by the show window: the picture of the old slide going and the
// new one coming, at any moment of the transition. Each frame costs a few copies of the
// window's pixels, whatever the slides hold, so three shows animate at once on one thread.

#include "presentation_automation/host/decks/deck_description.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>

class QPainter;
class QWidget;

namespace pa::host {

// Draws `from` giving way to `to` (both the whole window, at its device pixel ratio) at
// progress 0..1 into a painter over a window of logical size `window`.
void paintTransition(QPainter &painter, const QSize &window, const QImage &from, const QImage &to,
                     const Transition &transition, double progress);

// A frame as the window shows it: letterboxed on black, the window's size in device pixels.
// A frame of exactly that size is itself; another is drawn into canvas, which keeps its
// memory from one transition to the next (fresh memory for a 1080p picture costs tens of
// milliseconds on a loaded machine).
QImage windowPicture(const QImage &frame, const QSize &window, qreal devicePixelRatio,
                     QImage &canvas);

// How evenly the last transition of a window was drawn.
struct TransitionPacing
{
    Transition transition;
    int frames = 0;
    double longestGapMs = 0; // between two frames drawn
    double periodMs = 0;     // of the display it was paced at
    int lateFrames = 0;      // drawn more than one and a half periods after the one before
};

// Plays one transition at a time on a window, paced at its display's refresh rate; time, not
// frames, sets the progress, so a late frame never makes the transition longer.
class TransitionPlayer : public QObject
{
    Q_OBJECT

public:
    explicit TransitionPlayer(QWidget *window);

    bool running() const { return m_running; }
    // From the frame on screen to the frame of the slide coming in.
    void start(const Transition &transition, const QImage &from, const QImage &to);
    // The new slide came again (drawn at another size): the transition goes on towards it.
    void setTarget(const QImage &to);
    // Ends at once on the new slide.
    void finish();
    // Draws the current moment and counts it as a frame.
    void paint(QPainter &painter);
    const TransitionPacing &lastPacing() const { return m_pacing; }

signals:
    void finished();

private:
    void tick();

    QWidget *m_window;
    QTimer m_timer;
    QElapsedTimer m_clock;
    Transition m_transition;
    QImage m_from;
    QImage m_to;
    QImage m_fromCanvas;
    QImage m_toCanvas;
    bool m_running = false;
    qint64 m_lastFrameNs = -1;
    TransitionPacing m_pacing;
};

} // namespace pa::host
