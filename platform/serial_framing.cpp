#include "serial_framing.h"

namespace platform {

std::optional<QByteArray> QuietGapFramer::arrive(Clock::time_point at, const QByteArray &bytes)
{
    std::optional<QByteArray> done;
    if (bytes.isEmpty()) {
        return done;
    }
    if (!m_pending.isEmpty() && at - m_last >= m_gap) {
        done = takePending();
    }
    m_pending += bytes;
    m_last = at;
    return done;
}

std::optional<QByteArray> QuietGapFramer::quietUntil(Clock::time_point now)
{
    if (m_pending.isEmpty() || now - m_last < m_gap) {
        return std::nullopt;
    }
    return takePending();
}

std::optional<QuietGapFramer::Clock::time_point> QuietGapFramer::deadline() const
{
    if (m_pending.isEmpty()) {
        return std::nullopt;
    }
    return m_last + m_gap;
}

QByteArray QuietGapFramer::takePending()
{
    QByteArray text;
    text.swap(m_pending);
    return text;
}

void QuietGapFramer::clear()
{
    m_pending.clear();
}

} // namespace platform
