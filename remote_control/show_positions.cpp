#include "show_positions.h"

#include "platform/busy_calls.h"

#include <QScopedValueRollback>

namespace remote {

namespace {

// Besides after the window's calls: a show stepped in its own window is seen within this.
constexpr int pollMs = 1000;

// A watcher is reading: its calls must not wake another one (two windows in one program would
// keep each other reading).
bool watcherReading = false;

ShowPositions::Position positionOf(const std::shared_ptr<pa::Presentation> &presentation)
{
    ShowPositions::Position position;
    if (!presentation) {
        return position;
    }
    try {
        const std::shared_ptr<pa::SlideShowView> view = presentation->slideShowWindow()->view();
        position.showing = view->slide()->slideIndex();
        position.build = view->buildStep();
    } catch (const std::exception &) {
        return {};
    }
    return position;
}

} // namespace

ShowPositions::ShowPositions(Presentations presentations, QObject *parent)
    : QObject(parent), m_presentations(std::move(presentations))
{
    m_due.setSingleShot(true);
    m_due.setInterval(0);
    connect(&m_due, &QTimer::timeout, this, [this] {
        if (!readNow()) {
            m_due.start();
        }
    });
    connect(&m_poll, &QTimer::timeout, this, [this] { m_due.start(); });
    m_poll.start(pollMs);
    // Direct: only while the call's end is announced can it be told whose call it was.
    connect(&platform::BusyCalls::instance(), &platform::BusyCalls::callsEnded, this,
            &ShowPositions::othersCalled, Qt::DirectConnection);
}

ShowPositions::Position ShowPositions::of(std::size_t index) const
{
    return index < m_positions.size() ? m_positions[index] : Position{};
}

bool ShowPositions::stale() const
{
    return !m_readOnce || m_othersCalls != m_othersCallsRead;
}

void ShowPositions::onlyWhenAsked()
{
    m_watching = false;
    m_poll.stop();
    m_due.stop();
}

void ShowPositions::othersCalled()
{
    if (watcherReading || !m_watching) {
        return;
    }
    ++m_othersCalls;
    if (!m_due.isActive()) {
        m_due.start();
    }
}

void ShowPositions::refreshIfStale()
{
    if (m_watching && stale()) {
        read(false);
    }
}

bool ShowPositions::readNow()
{
    return read(true);
}

bool ShowPositions::read(bool tell)
{
    if (platform::BusyCalls::inCall()) {
        return false;
    }
    m_othersCallsRead = m_othersCalls;
    std::vector<Position> positions;
    {
        const QScopedValueRollback reading(watcherReading, true);
        for (const auto &presentation : m_presentations()) {
            positions.push_back(positionOf(presentation));
        }
    }
    if (positions != m_positions || !m_readOnce) {
        m_readOnce = true;
        m_positions = std::move(positions);
        if (tell) {
            emit changed();
        }
    }
    return true;
}

} // namespace remote
