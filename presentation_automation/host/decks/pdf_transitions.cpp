#include "presentation_automation/host/decks/pdf_transitions.h"

#include <poppler-qt6.h>

#include <memory>

namespace pa::host {

namespace {

// PDF gives the direction of motion as an angle: 0 is left to right, 90 bottom to top.
TransitionDirection fromAngle(int angle)
{
    switch (((angle % 360) + 360) % 360) {
    case 0:
        return TransitionDirection::Left;
    case 90:
        return TransitionDirection::Down;
    case 180:
        return TransitionDirection::Right;
    case 270:
        return TransitionDirection::Up;
    default:
        return TransitionDirection::None;
    }
}

} // namespace

Transition transitionFrom(const Poppler::PageTransition *pdf)
{
    Transition t;
    if (pdf == nullptr || !(pdf->durationReal() > 0)) {
        return t;
    }
    using P = Poppler::PageTransition;
    switch (pdf->type()) {
    case P::Fade:
        t.kind = TransitionKind::Fade;
        break;
    case P::Dissolve:
    case P::Glitter:
        t.kind = TransitionKind::Dissolve;
        break;
    case P::Wipe:
        t.kind = TransitionKind::Wipe;
        t.direction = fromAngle(pdf->angle());
        break;
    case P::Push:
        t.kind = TransitionKind::Push;
        t.direction = fromAngle(pdf->angle());
        break;
    case P::Cover:
    case P::Fly:
        t.kind = TransitionKind::Cover;
        t.direction = fromAngle(pdf->angle());
        break;
    case P::Uncover:
        t.kind = TransitionKind::Uncover;
        t.direction = fromAngle(pdf->angle());
        break;
    case P::Split: {
        const bool horizontal = pdf->alignment() == P::Horizontal;
        const bool inward = pdf->direction() == P::Inward;
        t.kind = TransitionKind::Split;
        t.direction =
            horizontal
                ? (inward ? TransitionDirection::HorizontalIn : TransitionDirection::HorizontalOut)
                : (inward ? TransitionDirection::VerticalIn : TransitionDirection::VerticalOut);
        break;
    }
    default:
        return t;
    }
    // A damaged file does not hold a show on one transition.
    t.seconds = std::min(pdf->durationReal(), 60.0);
    return t;
}

void addPdfTransitions(Poppler::Document &doc, DeckDescription &deck)
{
    for (SlideDescription &slide : deck.slides) {
        if (slide.transition.kind != TransitionKind::Cut) {
            continue;
        }
        if (std::unique_ptr<Poppler::Page> page{doc.page(slide.states.front().page)}) {
            slide.transition = transitionFrom(page->transition());
        }
    }
    if (!deck.importer.isEmpty()) {
        return;
    }
    // A page's display duration (/Dur), as PDF viewers keep it in presentation mode: the
    // slide it ends leaves on its own after it.
    for (SlideDescription &slide : deck.slides) {
        if (slide.advanceAfterSeconds) {
            continue;
        }
        if (std::unique_ptr<Poppler::Page> page{doc.page(slide.lastPage())}) {
            if (const double seconds = page->duration(); seconds >= 0 && seconds < 86400) {
                slide.advanceAfterSeconds = seconds;
            }
        }
    }
}

} // namespace pa::host
