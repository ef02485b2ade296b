#pragma once

// Slide transitions drawn by the show window: the picture of the old slide going and the
// new one coming, at any moment of the transition. Each frame costs a few copies of the
// window's pixels, whatever the slides hold, so three shows animate at once on one thread.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/shows/frame_pacer.h"

#include <QImage>
#include <QObject>

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
struct TransitionPacing : FramePacing
{
    Transition transition;
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
    // Ends at once on the new slide; painted now unless the caller paints what comes next.
    void finish(bool paint = true);
    // Draws the current moment and counts it as a frame.
    void paint(QPainter &painter);
    TransitionPacing lastPacing() const;

signals:
    void finished();

private:
    void tick();

    QWidget *m_window;
    FramePacer *m_pacer;
    Transition m_transition;
    QImage m_from;
    QImage m_to;
    QImage m_fromCanvas;
    QImage m_toCanvas;
    bool m_running = false;
};

} // namespace pa::host
