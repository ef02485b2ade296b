#include "presentation_automation/host/deadline_workers.h"

#include <QMetaObject>
#include <QTimer>

#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace pa::host {

DeadlineWorkers::DeadlineWorkers(int maxRunning, QObject *parent)
    : QObject(parent), m_maxRunning(maxRunning), m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->owner = this;
}

DeadlineWorkers::~DeadlineWorkers()
{
    const std::lock_guard lock(m_mailbox->mutex);
    m_mailbox->owner = nullptr;
}

void DeadlineWorkers::enqueue(Job job)
{
    m_queue.push_back(std::move(job));
    startQueued();
}

void DeadlineWorkers::startQueued()
{
    while (m_running < m_maxRunning && !m_queue.empty()) {
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        auto ticket = std::make_shared<Ticket>();
        ticket->late = std::move(job.late);
        QTimer::singleShot(job.deadlineMs, this, [this, ticket] {
            if (!ticket->settled) {
                ++m_abandoned;
                settle(ticket)();
            }
        });
        try {
            std::thread([mailbox = m_mailbox, ticket, work = std::move(job.work)]() mutable {
                // Below the main thread, which paints the shows and answers the controllers;
                // relative to the process's own, which may already run niced.
                const auto self = static_cast<id_t>(::gettid());
                ::setpriority(PRIO_PROCESS, self, ::getpriority(PRIO_PROCESS, self) + 10);
                auto deliver = work();
                const std::lock_guard lock(mailbox->mutex);
                if (DeadlineWorkers *owner = mailbox->owner) {
                    QMetaObject::invokeMethod(
                        owner,
                        [owner, ticket, deliver = std::move(deliver)] {
                            if (!ticket->settled) {
                                owner->settle(ticket);
                                deliver();
                            }
                        },
                        Qt::QueuedConnection);
                }
            }).detach();
        } catch (const std::system_error &) {
            // No thread to be had (the system's limit): the work fails as if it were late.
            settle(ticket)();
        }
    }
}

std::function<void()> DeadlineWorkers::settle(const std::shared_ptr<Ticket> &ticket)
{
    ticket->settled = true;
    --m_running;
    QMetaObject::invokeMethod(this, &DeadlineWorkers::startQueued, Qt::QueuedConnection);
    // What late() holds (a reply to a program) goes now, not when the deadline passes.
    return std::exchange(ticket->late, nullptr);
}

} // namespace pa::host
