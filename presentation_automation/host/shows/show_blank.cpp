#include "presentation_automation/host/shows/show_blank.h"

#include <QPainter>
#include <QRect>

namespace pa::host {

namespace {

std::optional<QColor> blankColour(std::int32_t state)
{
    if (state == ppSlideShowBlackScreen) {
        return QColor(Qt::black);
    }
    if (state == ppSlideShowWhiteScreen) {
        return QColor(Qt::white);
    }
    return std::nullopt;
}

} // namespace

QString viewStateProblem(std::int32_t state)
{
    if (state >= ppSlideShowRunning && state <= ppSlideShowDone) {
        return {};
    }
    return QStringLiteral("The value %1 is not a slide show state (1 running, 2 paused, 3 black "
                          "screen, 4 white screen, 5 done).")
        .arg(state);
}

QString viewStateName(std::int32_t state)
{
    switch (state) {
    case ppSlideShowPaused:
        return QStringLiteral("paused");
    case ppSlideShowBlackScreen:
        return QStringLiteral("black");
    case ppSlideShowWhiteScreen:
        return QStringLiteral("white");
    case ppSlideShowDone:
        return QStringLiteral("done");
    default:
        return QStringLiteral("running");
    }
}

bool ShowBlank::blanked() const
{
    return blankColour(m_state).has_value();
}

void ShowBlank::set(std::int32_t state)
{
    m_state = state;
    if (const auto colour = blankColour(state)) {
        m_up = colour;
        m_revealDue = false;
    }
}

bool ShowBlank::draw(bool slideOnScreen)
{
    if (blanked()) {
        return true;
    }
    if (!m_up) {
        return false;
    }
    if (!slideOnScreen) {
        m_revealDue = true;
        return false;
    }
    m_up.reset();
    m_revealDue = false;
    return true;
}

bool ShowBlank::slideShown()
{
    if (!m_revealDue || blanked()) {
        return false;
    }
    m_up.reset();
    m_revealDue = false;
    return true;
}

std::optional<QColor> ShowBlank::covering() const
{
    if (const auto colour = blankColour(m_state)) {
        return colour;
    }
    return m_up;
}

bool ShowBlank::paint(QPainter &painter, const QRect &window) const
{
    const auto colour = covering();
    if (colour) {
        painter.fillRect(window, *colour);
    }
    return colour.has_value();
}

} // namespace pa::host
