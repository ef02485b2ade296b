#include "presentation_automation/host/decks/frame_plan.h"

#include <QStringList>

#include <algorithm>

namespace pa::host {

FramePlan planFrames(const std::vector<ShowFrames> &shows, std::int64_t budgetBytes)
{
    FramePlan plan;
    std::int64_t budget = budgetBytes;
    const auto takeKey = [&](const ShowFrames &show, FrameKey key, bool onScreen) {
        if (key.slide < 1) {
            return;
        }
        if (std::find(plan.wanted.begin(), plan.wanted.end(), key) != plan.wanted.end()) {
            return;
        }
        const std::int64_t bytes = frameBytes(key, show.pagePoints);
        if (!onScreen && bytes > budget) {
            return;
        }
        budget -= bytes;
        plan.wanted.push_back(std::move(key));
        plan.urgent += onScreen ? 1 : 0;
    };
    const auto take = [&](const ShowFrames &show, int frame, bool onScreen) {
        takeKey(show, FrameKey{show.pdf, frame, show.box, {}}, onScreen);
    };

    for (const ShowFrames &show : shows) {
        if (!show.around.empty()) {
            take(show, show.around.front(), true);
        }
        for (const FrameKey &key : show.playing) {
            takeKey(show, key, true);
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
        if (rank == 1) {
            // A build's effects are held with its page: without them Next cuts.
            for (const ShowFrames &show : shows) {
                for (const FrameKey &key : show.ahead) {
                    takeKey(show, key, false);
                }
            }
        }
    }
    return plan;
}

std::vector<FrameKey> effectFrames(const DeckDescription &deck, StepPosition to, const QString &pdf,
                                   const QSize &box)
{
    if (to.slide < 1 || to.slide > deck.slideCount()) {
        return {};
    }
    const SlideDescription &slide = deck.slides[static_cast<size_t>(to.slide - 1)];
    if (to.state < 1 || to.state >= static_cast<int>(slide.states.size())) {
        return {};
    }
    const BuildState &state = slide.states[static_cast<size_t>(to.state)];
    if (state.effects.empty()) {
        return {};
    }
    const int under = state.underPage >= 0 ? state.underPage
                                           : slide.states[static_cast<size_t>(to.state - 1)].page;
    // Frames count pages from 1, the deck from 0.
    std::vector<FrameKey> keys{FrameKey{pdf, under + 1, box, {}}};
    const auto add = [&](int page, const QRectF &rect) {
        FrameKey key = spriteKey(pdf, box, page, rect);
        if (page >= 0 && key.sprite() && std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(std::move(key));
        }
    };
    for (const SlideEffect &effect : state.effects) {
        add(effect.spritePage, effect.rect);
        add(effect.spriteAfterPage, effect.rect);
    }
    return keys;
}

FrameKey spriteKey(const QString &pdf, const QSize &box, int page, const QRectF &rect)
{
    return FrameKey{pdf, page + 1, box, rect};
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
                   bool shownFromHeld, int sprites, std::optional<bool> nextEffectsHeld)
{
    QString line =
        QStringLiteral("    frames held for pages: %1; prepared slides: %2; page on screen %3")
            .arg(listed(held), listed(prepared),
                 shownFromHeld ? QStringLiteral("from a frame held ahead")
                               : QStringLiteral("drawn when needed"));
    if (sprites > 0 || nextEffectsHeld) {
        line += QStringLiteral("; sprites held: %1").arg(sprites);
    }
    if (nextEffectsHeld) {
        line += *nextEffectsHeld ? QStringLiteral("; next build's effects: held")
                                 : QStringLiteral("; next build's effects: not held yet");
    }
    return line;
}

} // namespace pa::host
