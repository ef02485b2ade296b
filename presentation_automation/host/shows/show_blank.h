#pragma once

// A show's view state: running, or the screen turned black or white over everything the show
// draws (its slide, a transition coming in), as a presenter takes the audience's eyes off the
// slides. What was set is answered at once, and any paint of the window from then on draws the
// blank; a blank comes down only onto the slide the show is on now, so a step taken behind it
// never shows the slide it left, not even for one frame.
//
// Paused and done are kept and answered as the object model would, and drawn as running.

#include "presentation_automation/automation.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>

class QPainter;
class QRect;

namespace pa::host {

// Empty when a show can be put in this state (a ppSlideShow* value), else why not.
QString viewStateProblem(std::int32_t state);
// As the listings show it: "running", "paused", "black", "white" or "done".
QString viewStateName(std::int32_t state);

class ShowBlank
{
public:
    std::int32_t state() const { return m_state; }
    // Black or white: steps go on behind it.
    bool blanked() const;
    // state must be one viewStateProblem accepts.
    void set(std::int32_t state);
    // The set state is to be seen now; slideOnScreen: the frame behind is of the show's current
    // page. A reveal without it waits for slideShown(). True when the window is to be painted.
    bool draw(bool slideOnScreen);
    // The current page's frame came: true when a reveal waited for it (and is done now).
    bool slideShown();
    // What covers the whole window now, nothing when the slide is drawn.
    std::optional<QColor> covering() const;
    // Fills the window when it is covered; false when the slide is to be drawn.
    bool paint(QPainter &painter, const QRect &window) const;

private:
    std::int32_t m_state = ppSlideShowRunning;
    // Stays up through a reveal until the slide behind it is there.
    std::optional<QColor> m_up;
    bool m_revealDue = false;
};

} // namespace pa::host
