#pragma once

// Slow work (loading a deck, drawing a slide nobody holds) runs on threads of its own so the
// host's main thread keeps answering and painting. Each piece has a deadline from its start:
// work still running then (a read stuck in the kernel on a hung share) is abandoned, its
// late() runs instead, and its result, should it ever come, is dropped. Nothing ever waits
// for such a thread, so neither quitting nor anything queued behind it can be held up.

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace pa::host {

class DeadlineWorkers : public QObject
{
public:
    DeadlineWorkers(int maxRunning, QObject *parent = nullptr);
    // Work still running is abandoned: its results are dropped.
    ~DeadlineWorkers() override;

    // Runs work() on a worker thread at a lower priority, then done(result) on this object's
    // thread; or late() when work() has not returned deadlineMs after it started.
    template<typename Work, typename Done, typename Late>
    void run(int deadlineMs, Work work, Done done, Late late)
    {
        enqueue(Job{
            deadlineMs,
            [work = std::move(work), done = std::move(done)]() mutable -> std::function<void()> {
                auto result = work();
                return [done, result = std::move(result)]() mutable { done(result); };
            },
            std::move(late)});
    }

    int running() const { return m_running; }
    int queued() const { return static_cast<int>(m_queue.size()); }
    int abandoned() const { return m_abandoned; }

private:
    struct Job
    {
        int deadlineMs = 0;
        std::function<std::function<void()>()> work;
        std::function<void()> late;
    };
    // Shared with the threads: they post back only while the owner lives.
    struct Mailbox
    {
        std::mutex mutex;
        DeadlineWorkers *owner = nullptr;
    };
    struct Ticket
    {
        bool settled = false;
        std::function<void()> late;
    };

    void enqueue(Job job);
    void startQueued();
    // Returns the ticket's late(), to be run when it was late.
    std::function<void()> settle(const std::shared_ptr<Ticket> &ticket);

    int m_maxRunning;
    int m_running = 0;
    int m_abandoned = 0;
    std::deque<Job> m_queue;
    std::shared_ptr<Mailbox> m_mailbox;
};

} // namespace pa::host
