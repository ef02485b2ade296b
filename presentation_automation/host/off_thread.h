#pragma once

// Slow work (loading a deck, hashing or copying it, drawing a slide nobody holds) runs on a
// pool thread so the host's main thread keeps answering and painting; the answer comes
// back through the event loop.

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace pa::host {

// Runs work() on a thread of pool at a lower priority, then done(result) in context's thread. The
// owner of pool waits for it (QThreadPool::waitForDone) before context goes, so context outlives
// every piece of work; a result arriving after context is deleted is dropped by Qt.
template<typename Work, typename Done>
void offThread(QThreadPool &pool, QObject *context, Work work, Done done)
{
    pool.start([context, work = std::move(work), done = std::move(done)]() mutable {
        // Below the main thread, which paints the shows and answers the controllers.
        // Relative to the process's own, which may already run niced.
        const auto self = static_cast<id_t>(::gettid());
        ::setpriority(PRIO_PROCESS, self, ::getpriority(PRIO_PROCESS, self) + 10);
        auto result = work();
        QMetaObject::invokeMethod(
            context, [done, result]() mutable { done(std::move(result)); }, Qt::QueuedConnection);
    });
}

} // namespace pa::host
