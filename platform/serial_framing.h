#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>

namespace platform {

// Cuts what a serial line carries into texts: a text ends where the line stayed quiet for
// the gap, judged by when each piece arrived rather than by when anyone got round to
// reading it, so a busy reader neither merges presses nor splits one.
class QuietGapFramer
{
public:
    using Clock = std::chrono::steady_clock;

    explicit QuietGapFramer(Clock::duration gap = std::chrono::milliseconds(4)) : m_gap(gap) {}

    void setGap(Clock::duration gap) { m_gap = gap; }
    Clock::duration gap() const { return m_gap; }

    // Bytes that arrived at `at`. Returns the text they close off: the one before them, when
    // the line had been quiet for the gap before they came.
    std::optional<QByteArray> arrive(Clock::time_point at, const QByteArray &bytes);

    // The line has been quiet up to `now`: returns the text when the gap has passed since
    // its last piece.
    std::optional<QByteArray> quietUntil(Clock::time_point now);

    // When the text being gathered is complete if nothing more comes; empty when none is.
    std::optional<Clock::time_point> deadline() const;

    qsizetype pendingSize() const { return m_pending.size(); }
    // Hands over what was gathered, complete or not (a line that never falls quiet).
    QByteArray takePending();
    void clear();

private:
    Clock::duration m_gap;
    QByteArray m_pending;
    Clock::time_point m_last{};
};

} // namespace platform
