#include "presentation_automation/host/shows/switch_batch.h"

#include "presentation_automation/host/shows/show_window.h"

#include <algorithm>

namespace pa::host {

SwitchBatch::SwitchBatch(int maxWaitMs, QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(maxWaitMs);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &SwitchBatch::flush);
}

void SwitchBatch::add(ShowWindow *window, const QImage &frame, int page)
{
    drop(window);
    m_waiting.push_back({window, frame, page});
    if (!m_deadline.isActive()) {
        m_deadline.start();
    }
}

void SwitchBatch::addViewState(ShowWindow *window)
{
    if (std::find(m_viewStates.begin(), m_viewStates.end(), window) == m_viewStates.end()) {
        m_viewStates.emplace_back(window);
    }
    if (!m_deadline.isActive()) {
        m_deadline.start();
    }
}

void SwitchBatch::drop(ShowWindow *window)
{
    std::erase_if(m_waiting, [window](const Waiting &w) { return w.window == window; });
}

void SwitchBatch::flush()
{
    m_deadline.stop();
    // Taken first: painting may run the event loop's posted work, which may add again.
    std::vector<Waiting> now;
    now.swap(m_waiting);
    std::vector<QPointer<ShowWindow>> states;
    states.swap(m_viewStates);
    const auto drawStates = [&states](bool blanks) {
        for (const QPointer<ShowWindow> &window : states) {
            if (window && window->blanked() == blanks) {
                window->drawViewState();
            }
        }
    };
    drawStates(true);
    for (const Waiting &w : now) {
        if (w.window) {
            // The window's own entry: a slide entered forwards comes in through its transition.
            w.window->showFrame(w.frame, w.page);
        }
    }
    drawStates(false);
}

bool SwitchBatch::waiting(const ShowWindow *window) const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(),
                       [window](const Waiting &w) { return w.window == window; });
}

} // namespace pa::host
