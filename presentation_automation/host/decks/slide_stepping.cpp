#include "presentation_automation/host/decks/slide_stepping.h"

#include <algorithm>

namespace pa::host {

namespace {

const SlideDescription &slideAt(const DeckDescription &deck, int slide)
{
    return deck.slides[static_cast<size_t>(slide - 1)];
}

int lastState(const DeckDescription &deck, int slide)
{
    return static_cast<int>(slideAt(deck, slide).states.size()) - 1;
}

// The first slide after `slide` (or before, step -1) that is not hidden; 0 when none.
int shownSlideFrom(const DeckDescription &deck, int slide, int step)
{
    for (int s = slide + step; s >= 1 && s <= deck.slideCount(); s += step) {
        if (!slideAt(deck, s).hidden) {
            return s;
        }
    }
    return 0;
}

} // namespace

StepPosition firstPosition(const DeckDescription &deck)
{
    const int first = shownSlideFrom(deck, 0, 1);
    return StepPosition{first > 0 ? first : 1, 0};
}

Step nextStep(const DeckDescription &deck, StepPosition at, bool loop)
{
    if (at.state < lastState(deck, at.slide)) {
        return Step{StepPosition{at.slide, at.state + 1}, StepKind::Build};
    }
    int slide = shownSlideFrom(deck, at.slide, 1);
    if (slide == 0 && loop) {
        slide = shownSlideFrom(deck, 0, 1);
    }
    const StepPosition to{slide, 0};
    if (slide == 0 || to == at) {
        return Step{at, StepKind::Stay};
    }
    return Step{to, StepKind::Forward};
}

Step previousStep(const DeckDescription &deck, StepPosition at)
{
    if (at.state > 0) {
        return Step{StepPosition{at.slide, at.state - 1}, StepKind::Build};
    }
    const int slide = shownSlideFrom(deck, at.slide, -1);
    if (slide == 0) {
        return Step{at, StepKind::Stay};
    }
    return Step{StepPosition{slide, lastState(deck, slide)}, StepKind::Back};
}

Step gotoStep(const DeckDescription &deck, StepPosition at, int slide, int resumeState)
{
    const StepPosition to{slide, std::clamp(resumeState, 0, lastState(deck, slide))};
    if (to == at) {
        return Step{at, StepKind::Stay};
    }
    return Step{to, slide == at.slide ? StepKind::Build : StepKind::Forward};
}

std::optional<double> automaticDelay(const DeckDescription &deck, StepPosition at)
{
    const SlideDescription &slide = slideAt(deck, at.slide);
    if (at.state < lastState(deck, at.slide)) {
        const BuildState &following = slide.states[static_cast<size_t>(at.state + 1)];
        if (following.automatic) {
            return following.delaySeconds;
        }
        return std::nullopt;
    }
    if (deck.useTimings && slide.advanceAfterSeconds) {
        return *slide.advanceAfterSeconds;
    }
    return std::nullopt;
}

int pageOf(const DeckDescription &deck, StepPosition at)
{
    return slideAt(deck, at.slide).states[static_cast<size_t>(at.state)].page;
}

std::vector<int> pagesAround(const DeckDescription &deck, StepPosition at, bool loop)
{
    const StepPosition next = nextStep(deck, at, loop).to;
    const StepPosition previous = previousStep(deck, at).to;
    const StepPosition afterNext = nextStep(deck, next, loop).to;
    std::vector<StepPosition> wanted{at, next};
    if (at.slide < deck.slideCount()) {
        wanted.push_back(StepPosition{at.slide + 1, 0});
    }
    wanted.push_back(afterNext);
    wanted.push_back(previous);
    if (at.slide + 2 <= deck.slideCount()) {
        wanted.push_back(StepPosition{at.slide + 2, 0});
    }
    wanted.push_back(nextStep(deck, afterNext, loop).to);
    wanted.push_back(previousStep(deck, previous).to);
    std::vector<int> pages;
    for (const StepPosition &p : wanted) {
        const int page = pageOf(deck, p);
        if (std::find(pages.begin(), pages.end(), page) == pages.end() && pages.size() < 6) {
            pages.push_back(page);
        }
    }
    return pages;
}

SlideStepper::SlideStepper(DeckDescription deck, bool loop)
    : m_deck(deck.slides.empty() ? plainDeck(1) : std::move(deck)), m_loop(loop),
      m_at(firstPosition(m_deck)), m_leftAt(m_deck.slides.size(), 0)
{}

int SlideStepper::stateCount() const
{
    return lastState(m_deck, m_at.slide) + 1;
}

StepKind SlideStepper::next()
{
    return moveTo(nextStep(m_deck, m_at, m_loop));
}

StepKind SlideStepper::previous()
{
    return moveTo(previousStep(m_deck, m_at));
}

StepKind SlideStepper::gotoSlide(int slide, bool resetSlide)
{
    if (slide < 1 || slide > m_deck.slideCount()) {
        return StepKind::Stay;
    }
    const int resume = resetSlide ? 0 : m_leftAt[static_cast<size_t>(slide - 1)];
    return moveTo(gotoStep(m_deck, m_at, slide, resume));
}

void SlideStepper::restore(StepPosition at)
{
    at.slide = std::clamp(at.slide, 1, m_deck.slideCount());
    at.state = std::clamp(at.state, 0, lastState(m_deck, at.slide));
    m_at = at;
    m_leftAt[static_cast<size_t>(at.slide - 1)] = at.state;
}

StepKind SlideStepper::moveTo(const Step &step)
{
    if (step.kind != StepKind::Stay) {
        m_at = step.to;
        m_leftAt[static_cast<size_t>(m_at.slide - 1)] = m_at.state;
    }
    return step.kind;
}

} // namespace pa::host
