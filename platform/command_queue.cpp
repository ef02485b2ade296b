#include "platform/command_queue.h"

#include "platform/busy_calls.h"

#include <QScopedValueRollback>

namespace platform {

CommandQueue::CommandQueue(std::function<void(const QString &)> run, QObject *parent)
    : QObject(parent), m_run(std::move(run))
{
    connect(&BusyCalls::instance(), &BusyCalls::callsEnded, this, &CommandQueue::runWaiting,
            Qt::QueuedConnection);
}

void CommandQueue::push(const QString &command)
{
    if (m_closed || m_waiting.size() >= maxQueued) {
        return;
    }
    m_waiting.append(command);
    runWaiting();
}

void CommandQueue::close()
{
    m_closed = true;
    m_waiting.clear();
}

void CommandQueue::runWaiting()
{
    // A press that comes while a call to the presentation application is under way (the
    // window is kept alive meanwhile) or while earlier presses are still being worked off
    // waits its turn.
    if (m_running || BusyCalls::inCall()) {
        return;
    }
    const QScopedValueRollback running(m_running, true);
    while (!m_closed && !m_waiting.isEmpty() && !BusyCalls::inCall()) {
        m_run(m_waiting.takeFirst());
    }
}

} // namespace platform
