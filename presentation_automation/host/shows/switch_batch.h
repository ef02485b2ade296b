#pragma once

// The switches of one step reach the screens together. A controller switches its screens
// one request after another; painting a held slide at each request put the last screen up
// a few paintings after the first. So the held frames of a step's switches wait until the
// controller asks for something other than a switch, or a moment has passed, and are then
// painted one right after the other. A frame that is not held never waits here: it is shown
// as soon as it is drawn. A blank or a reveal asked for among the switches goes up with them:
// a blank before the frames, so no frame shows above it, a reveal after, onto them.

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

namespace pa::host {

class ShowWindow;

class SwitchBatch : public QObject
{
    Q_OBJECT

public:
    // maxWaitMs: the longest a frame waits for the rest of its step.
    explicit SwitchBatch(int maxWaitMs, QObject *parent = nullptr);

    // The window's next frame; replaces one it was still waiting with.
    void add(ShowWindow *window, const QImage &frame, int page);
    // The view state the window was set to is drawn with the step's frames.
    void addViewState(ShowWindow *window);
    // The window moved on to a page not held: its waiting frame is stale (its view state is not).
    void drop(ShowWindow *window);
    // Paints every waiting frame now.
    void flush();
    // A frame waits for the window.
    bool waiting(const ShowWindow *window) const;

private:
    struct Waiting
    {
        QPointer<ShowWindow> window;
        QImage frame;
        int page = 0; // 1-based page of the PDF
    };
    std::vector<Waiting> m_waiting;
    std::vector<QPointer<ShowWindow>> m_viewStates;
    QTimer m_deadline;
};

} // namespace pa::host
