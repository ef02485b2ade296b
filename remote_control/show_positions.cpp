#include "show_positions.h"

#include "platform/busy_calls.h"

namespace remote {

namespace {

// Besides after the window's calls: a show stepped in its own window is seen within this.
constexpr int pollMs = 1000;

// When the last read of any watcher ended: one watcher's calls must not wake another (two
// windows in one program would keep each other reading).
std::chrono::steady_clock::time_point readsEnded;

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
    connect(&platform::BusyCalls::instance(), &platform::BusyCalls::callsEnded, this,
            &ShowPositions::othersCalled, Qt::QueuedConnection);
}

ShowPositions::Position ShowPositions::of(std::size_t index) const
{
    return index < m_positions.size() ? m_positions[index] : Position{};
}

void ShowPositions::othersCalled()
{
    if (platform::BusyCalls::lastCallEnded() > std::max(m_ownCallsEnded, readsEnded) &&
        !m_due.isActive()) {
        m_due.start();
    }
}

bool ShowPositions::readNow()
{
    if (platform::BusyCalls::inCall()) {
        return false;
    }
    std::vector<Position> positions;
    for (const auto &presentation : m_presentations()) {
        positions.push_back(positionOf(presentation));
    }
    m_ownCallsEnded = platform::BusyCalls::lastCallEnded();
    readsEnded = m_ownCallsEnded;
    if (positions != m_positions || !m_readOnce) {
        m_readOnce = true;
        m_positions = std::move(positions);
        emit changed();
    }
    return true;
}

} // namespace remote
