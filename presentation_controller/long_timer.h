#pragma once

// The kiosk's timer: a run switch, an interval in seconds (fractions allowed) that reads
// back 0 while none was set, and a tick each time the interval has passed.

#include <QObject>
#include <QTimer>

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

signals:
    void Timer();

private:
    void apply();

    QTimer m_timer;
    bool m_enabled = false;
    float m_seconds = 0;
};

} // namespace kestro
