#pragma once

// How a show steps through a deck of slides and their build states, as PowerPoint's slide
// show view does: Next plays the slide's next build and leaves the slide after its last one,
// Previous undoes one build and from a slide's first state goes back to the previous slide
// fully built, hidden slides are passed by Next and Previous but shown by GotoSlide. Plain
// rules over a DeckDescription; the show window keeps a SlideStepper and draws what it says.

#include "presentation_automation/host/decks/deck_description.h"

#include <optional>
#include <vector>

namespace pa::host {

struct StepPosition
{
    int slide = 1; // 1-based
    int state = 0; // 0-based index into the slide's build states

    bool operator==(const StepPosition &) const = default;
};

enum class StepKind
{
    Stay,    // nothing to go to: the show stays where it is
    Build,   // another state of the same slide, drawn at once
    Forward, // another slide, entered through its transition
    Back,    // another slide by Previous, drawn at once
};

struct Step
{
    StepPosition to;
    StepKind kind = StepKind::Stay;
};

// The slide a show starts on: the first that is not hidden (the first when all are).
StepPosition firstPosition(const DeckDescription &deck);
Step nextStep(const DeckDescription &deck, StepPosition at, bool loop);
Step previousStep(const DeckDescription &deck, StepPosition at);
// slide must be in 1..slideCount. resumeState is where that slide was left, for a go-to that
// does not reset the slide (0 when it resets or was never shown).
Step gotoStep(const DeckDescription &deck, StepPosition at, int slide, int resumeState = 0);
// Seconds until the show steps on its own from `at`, if it does: an automatic build waits for
// its delay; a slide fully built with a timing leaves after it when the deck uses timings.
std::optional<double> automaticDelay(const DeckDescription &deck, StepPosition at);
// 0-based page of the PDF that shows `at`.
int pageOf(const DeckDescription &deck, StepPosition at);
// The pages (0-based) a show on `at` keeps rendered, most wanted first: the one on screen,
// where Next goes, the next slide's first state (where a go-to goes), two Next ahead, where
// Previous goes, the slide after the next, three Next ahead, two Previous back; at most six.
// For a deck of one state per slide: the slide, the next two, the previous, and one more each
// way.
std::vector<int> pagesAround(const DeckDescription &deck, StepPosition at, bool loop);

// A show's place in its deck, with where each slide was left.
class SlideStepper
{
public:
    SlideStepper(DeckDescription deck, bool loop);

    const DeckDescription &deck() const { return m_deck; }
    StepPosition position() const { return m_at; }
    int page() const { return pageOf(m_deck, m_at); }
    int stateCount() const;
    bool loops() const { return m_loop; }
    void setLoop(bool loop) { m_loop = loop; }

    StepKind next();
    StepKind previous();
    // resetSlide false: the slide comes back as it was left.
    StepKind gotoSlide(int slide, bool resetSlide = true);
    // Puts the show back on a position a journal kept (clamped into the deck).
    void restore(StepPosition at);

private:
    StepKind moveTo(const Step &step);

    DeckDescription m_deck;
    bool m_loop;
    StepPosition m_at;
    std::vector<int> m_leftAt;
};

} // namespace pa::host
