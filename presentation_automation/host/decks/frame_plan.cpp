#include "presentation_automation/host/decks/frame_plan.h"

#include <QStringList>

#include <algorithm>

namespace pa::host {

FramePlan planFrames(const std::vector<ShowFrames> &shows, std::int64_t budgetBytes)
{
    FramePlan plan;
    std::int64_t budget = budgetBytes;
    const auto take = [&](const ShowFrames &show, int frame, bool onScreen) {
        if (frame < 1) {
            return;
        }
        FrameKey key{show.pdf, frame, show.box};
        if (std::find(plan.wanted.begin(), plan.wanted.end(), key) != plan.wanted.end()) {
            return;
        }
        const std::int64_t bytes = frameBytes(show.box);
        if (!onScreen && bytes > budget) {
            return;
        }
        budget -= bytes;
        plan.wanted.push_back(std::move(key));
        plan.urgent += onScreen ? 1 : 0;
    };

    for (const ShowFrames &show : shows) {
        if (!show.around.empty()) {
            take(show, show.around.front(), true);
        }
    }
    // Rank by rank across the shows, so every show's next step is held before any show's
    // step after that, and before any neighbour.
    size_t preparedRanks = 0;
    for (const ShowFrames &show : shows) {
        preparedRanks = std::max(preparedRanks, show.prepared.size());
    }
    for (size_t rank = 0; rank < preparedRanks; ++rank) {
        for (const ShowFrames &show : shows) {
            if (rank < show.prepared.size()) {
                take(show, show.prepared[rank], false);
            }
        }
    }
    size_t aroundRanks = 0;
    for (const ShowFrames &show : shows) {
        aroundRanks = std::max(aroundRanks, show.around.size());
    }
    for (size_t rank = 1; rank < aroundRanks; ++rank) {
        for (const ShowFrames &show : shows) {
            if (rank < show.around.size()) {
                take(show, show.around[rank], false);
            }
        }
    }
    return plan;
}

std::optional<int> frameOfSlide(const DeckDescription &deck, int slide)
{
    if (slide < 1 || slide > deck.slideCount()) {
        return std::nullopt;
    }
    // Deck pages count from 0, frames from 1.
    return deck.slides[static_cast<size_t>(slide - 1)].states.front().page + 1;
}

namespace {

template<typename Int> QString listed(const std::vector<Int> &numbers)
{
    QStringList texts;
    for (Int n : numbers) {
        texts << QString::number(n);
    }
    return texts.isEmpty() ? QStringLiteral("none") : texts.join(QLatin1String(", "));
}

} // namespace

QString framesLine(const std::vector<int> &held, const std::vector<std::int32_t> &prepared,
                   bool shownFromHeld)
{
    return QStringLiteral("    frames held for pages: %1; prepared slides: %2; page on screen %3")
        .arg(listed(held), listed(prepared),
             shownFromHeld ? QStringLiteral("from a frame held ahead")
                           : QStringLiteral("drawn when needed"));
}

} // namespace pa::host
