#pragma once

// The kiosk's timer: a run switch, an interval in seconds (fractions allowed) that reads
// back 0 while none was set, and a tick each time the interval has passed. Ticks keep to
// one schedule from the start; ticks that fell due while the program could not take them
// are not made up later, so a late tick never comes twice.

#include <QObject>
#include <QTimer>

#include <chrono>

namespace kestro {

// The interval in whole milliseconds; throws pa::AutomationError when the interval cannot
// be kept (not above 0, below a millisecond, or longer than the timer can count).
int intervalMilliseconds(float seconds);

class LongTimer : public QObject
{
    Q_OBJECT

public:
    explicit LongTimer(QObject *parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    float Interval() const { return m_seconds; }
    // Throws (and keeps the earlier interval) when the interval cannot be kept.
    void setInterval(float seconds);
    bool isTicking() const { return m_timer.isActive(); }
    // When the tick being delivered fell due.
    std::chrono::steady_clock::time_point dueAt() const { return m_delivering; }

signals:
    void Timer();

private:
    void apply();
    void arm();
    void onTimeout();

    QTimer m_timer;
    std::chrono::milliseconds m_period{0};
    std::chrono::steady_clock::time_point m_due{};
    std::chrono::steady_clock::time_point m_delivering{};
    bool m_enabled = false;
    float m_seconds = 0;
};

} // namespace kestro
