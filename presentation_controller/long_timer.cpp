#include "long_timer.h"

#include "platform/error.h"

#include <algorithm>
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
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LongTimer::onTimeout);
}

void LongTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    apply();
}

void LongTimer::setInterval(float seconds)
{
    m_period = std::chrono::milliseconds(intervalMilliseconds(seconds));
    m_seconds = seconds;
    apply();
}

void LongTimer::apply()
{
    if (m_enabled && m_seconds > 0) {
        // A new interval counts from now.
        m_due = std::chrono::steady_clock::now() + m_period;
        arm();
    } else {
        m_timer.stop();
    }
}

void LongTimer::arm()
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_due - std::chrono::steady_clock::now());
    m_timer.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
}

void LongTimer::onTimeout()
{
    m_delivering = m_due;
    // The next tick is armed before this one is handled; due times already passed are left
    // out.
    const auto now = std::chrono::steady_clock::now();
    m_due += m_period;
    if (m_due <= now) {
        m_due += m_period * ((now - m_due) / m_period + 1);
    }
    arm();
    emit Timer();
}

} // namespace kestro
