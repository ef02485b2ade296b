#include "long_timer.h"

#include "platform/error.h"

#include <cmath>
#include <limits>

namespace kestro {

int intervalMilliseconds(float seconds)
{
    const double milliseconds = std::round(static_cast<double>(seconds) * 1000.0);
    if (!(seconds > 0)) {
        throw platform::runtimeError(
            QStringLiteral("The timer interval must be more than 0 seconds."));
    }
    if (milliseconds < 1) {
        throw platform::runtimeError(
            QStringLiteral("The timer interval must be at least 0.001 seconds."));
    }
    if (milliseconds > static_cast<double>(std::numeric_limits<int>::max())) {
        throw platform::runtimeError(QStringLiteral("Overflow"));
    }
    return static_cast<int>(milliseconds);
}

LongTimer::LongTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LongTimer::Timer);
}

void LongTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    apply();
}

void LongTimer::setInterval(float seconds)
{
    m_timer.setInterval(intervalMilliseconds(seconds));
    m_seconds = seconds;
    apply();
}

void LongTimer::apply()
{
    if (m_enabled && m_seconds > 0) {
        m_timer.start(); // a new interval counts from now
    } else {
        m_timer.stop();
    }
}

} // namespace kestro
