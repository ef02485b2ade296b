#include "platform/testing/failing_save.h"

#include <csignal>
#include <sys/resource.h>

namespace platformtesting {

// The process's file size limit stops the write of the new copy, whatever the file is.
struct FailingSave::State
{
    rlimit saved{};
    void (*oldHandler)(int) = SIG_DFL;
    bool armed = false;
};

FailingSave::FailingSave(const QString &) : m_state(std::make_unique<State>())
{
    if (getrlimit(RLIMIT_FSIZE, &m_state->saved) != 0) {
        return;
    }
    m_state->oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_state->saved;
    small.rlim_cur = 10;
    m_state->armed = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FailingSave::~FailingSave()
{
    if (m_state->armed) {
        setrlimit(RLIMIT_FSIZE, &m_state->saved);
    }
    std::signal(SIGXFSZ, m_state->oldHandler);
}

bool FailingSave::armed() const
{
    return m_state->armed;
}

} // namespace platformtesting
