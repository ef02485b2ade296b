#include "presentation_automation/host/shows/frame_pacer.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace pa::host {

QString pacingText(const FramePacing &pacing, double seconds)
{
    return QStringLiteral("in %1 frames over %2 s, %3 late, longest gap %4 ms of a %5 ms period")
        .arg(pacing.frames)
        .arg(seconds)
        .arg(pacing.lateFrames)
        .arg(pacing.longestGapMs, 0, 'f', 2)
        .arg(pacing.periodMs, 0, 'f', 2);
}

FramePacer::FramePacer(QWidget *window) : QObject(window), m_window(window)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FramePacer::tick);
}

void FramePacer::start()
{
    const QScreen *screen = m_window->screen();
    const double hz = screen != nullptr && screen->refreshRate() >= 20 ? screen->refreshRate() : 60;
    m_pacing = FramePacing{0, 0, 1000.0 / hz, 0};
    m_lastFrameNs = -1;
    m_clock.start();
    // Whole milliseconds below the period: a tick never falls a whole period behind.
    m_timer.start(std::max(1, static_cast<int>(std::floor(m_pacing.periodMs))));
}

void FramePacer::stop()
{
    m_timer.stop();
}

double FramePacer::elapsedSeconds() const
{
    return m_clock.isValid() ? static_cast<double>(m_clock.nsecsElapsed()) / 1e9 : 0;
}

void FramePacer::frameDrawn()
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_lastFrameNs >= 0) {
        const double gap = static_cast<double>(now - m_lastFrameNs) / 1e6;
        m_pacing.longestGapMs = std::max(m_pacing.longestGapMs, gap);
        m_pacing.lateFrames += gap > 1.5 * m_pacing.periodMs ? 1 : 0;
    }
    m_lastFrameNs = now;
    ++m_pacing.frames;
}

} // namespace pa::host
