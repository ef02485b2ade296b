#pragma once

// Which frames the host holds, most wanted first, within its memory for frames: every show's
// page on screen, then the first pages of the slides its controller said come next, then the
// usual neighbours of the page on screen (next build, next slide, previous step). A step
// with effects also needs the page they play over and each effect's sprite: those of the
// effects playing are on screen, those of the next steps are held with the next build. What
// does not fit is the least useful neighbours.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/decks/slide_stepping.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pa::host {

// One running show as the plan sees it; frames are 1-based pages of the PDF.
struct ShowFrames
{
    QString pdf;
    QSize box;
    // The page on screen first, then its usual neighbours, most wanted first.
    std::vector<int> around;
    // Pages a controller said the show goes to next, most likely first.
    std::vector<int> prepared;
    // The effect frames (see effectFrames) of the step playing on screen, and of the steps
    // Next goes to.
    std::vector<FrameKey> playing{};
    std::vector<FrameKey> ahead{};
    // The deck's page size in points: what a sprite's crop costs.
    QSizeF pagePoints{};
};

struct FramePlan
{
    std::vector<FrameKey> wanted;
    size_t urgent = 0; // the first ones: needed on screen now
};

// shows: the most important first (the active show). The frames on screen are always
// planned; every other one only while budgetBytes lasts.
FramePlan planFrames(const std::vector<ShowFrames> &shows, std::int64_t budgetBytes);

// What a step into `to` plays its effects with besides the state's own page: first the page
// they play over (the state's under page, or the state before's page), then each effect's
// sprites, cropped to its box. Empty when the state has no effects to play (a slide's first
// state comes in with its transition).
std::vector<FrameKey> effectFrames(const DeckDescription &deck, StepPosition to, const QString &pdf,
                                   const QSize &box);
// The frame of one sprite: page (0-based, as the deck counts) cut to the effect's box.
FrameKey spriteKey(const QString &pdf, const QSize &box, int page, const QRectF &rect);

// The frame that shows a slide as it starts: the page of its first build state, numbered
// from 1 as frames are. None for a slide the deck does not have.
std::optional<int> frameOfSlide(const DeckDescription &deck, int slide);

// A show's line of the status listing about its frames: which it holds, which slides its
// controller prepared, and whether the page on screen came from a frame held ahead; how many
// sprites it holds and, when Next goes to a build with effects, whether their pictures are.
QString framesLine(const std::vector<int> &held, const std::vector<std::int32_t> &prepared,
                   bool shownFromHeld, int sprites = 0,
                   std::optional<bool> nextEffectsHeld = std::nullopt);

} // namespace pa::host
