#include "presentation_automation/host/decks/deck_description.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace pa::host {

namespace {

// Longer than any real delay or slide timing; anything past it is a damaged file.
constexpr double maxSeconds = 24.0 * 3600.0;
// A deck of this many slides or states is damaged, not large.
constexpr qsizetype maxSlides = 100000;
constexpr qsizetype maxStatesPerSlide = 10000;

std::optional<double> seconds(const QJsonValue &v)
{
    if (!v.isDouble()) {
        return std::nullopt;
    }
    const double s = v.toDouble();
    if (!std::isfinite(s) || s < 0 || s > maxSeconds) {
        return std::nullopt;
    }
    return s;
}

std::optional<int> pageNumber(const QJsonValue &v, int pageCount)
{
    if (!v.isDouble()) {
        return std::nullopt;
    }
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < 0 || d >= pageCount) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

} // namespace

int SlideDescription::clickBuilds() const
{
    int n = 0;
    for (size_t i = 1; i < states.size(); ++i) {
        if (!states[i].automatic) {
            ++n;
        }
    }
    return n;
}

DeckDescription plainDeck(int pageCount)
{
    DeckDescription deck;
    deck.slides.resize(static_cast<size_t>(std::max(pageCount, 0)));
    for (int i = 0; i < pageCount; ++i) {
        deck.slides[static_cast<size_t>(i)].states.push_back(BuildState{i, false, 0});
    }
    return deck;
}

namespace {

const std::pair<const char *, TransitionKind> transitionNames[] = {
    {"fade", TransitionKind::Fade},         {"fadeThroughBlack", TransitionKind::FadeThroughBlack},
    {"dissolve", TransitionKind::Dissolve}, {"push", TransitionKind::Push},
    {"wipe", TransitionKind::Wipe},         {"cover", TransitionKind::Cover},
    {"uncover", TransitionKind::Uncover},   {"split", TransitionKind::Split},
};

} // namespace

QString transitionKindName(TransitionKind kind)
{
    for (const auto &[n, k] : transitionNames) {
        if (k == kind) {
            return QLatin1String(n);
        }
    }
    return QStringLiteral("cut");
}

TransitionKind transitionKindFromName(const QString &name)
{
    for (const auto &[n, kind] : transitionNames) {
        if (name == QLatin1String(n)) {
            return kind;
        }
    }
    return TransitionKind::Cut;
}

TransitionDirection transitionDirectionFromName(const QString &name)
{
    static const std::pair<const char *, TransitionDirection> names[] = {
        {"left", TransitionDirection::Left},
        {"right", TransitionDirection::Right},
        {"up", TransitionDirection::Up},
        {"down", TransitionDirection::Down},
        {"horizontalIn", TransitionDirection::HorizontalIn},
        {"horizontalOut", TransitionDirection::HorizontalOut},
        {"verticalIn", TransitionDirection::VerticalIn},
        {"verticalOut", TransitionDirection::VerticalOut},
    };
    for (const auto &[n, direction] : names) {
        if (name == QLatin1String(n)) {
            return direction;
        }
    }
    return TransitionDirection::None;
}

QString descriptionPathFor(const QString &pdf)
{
    return pdf + QStringLiteral(".steps.json");
}

std::optional<DeckDescription> readDeckDescription(const QByteArray &json, int pageCount,
                                                   QString *why)
{
    auto fail = [why](const QString &reason) -> std::optional<DeckDescription> {
        if (why) {
            *why = reason;
        }
        return std::nullopt;
    };
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return fail(QStringLiteral("the deck's description is not valid JSON"));
    }
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toInt(-1) != 1) {
        return fail(QStringLiteral("the deck's description has an unknown format"));
    }
    DeckDescription deck;
    deck.importer = root.value(QLatin1String("importer")).toString();
    const QJsonObject show = root.value(QLatin1String("show")).toObject();
    deck.loop = show.value(QLatin1String("loop")).toBool(false);
    deck.useTimings = show.value(QLatin1String("useTimings")).toBool(true);

    const QJsonArray slides = root.value(QLatin1String("slides")).toArray();
    if (slides.isEmpty() || slides.size() > maxSlides) {
        return fail(QStringLiteral("the deck's description has no slides"));
    }
    for (qsizetype s = 0; s < slides.size(); ++s) {
        const QString where = QStringLiteral("slide %1 of the deck's description").arg(s + 1);
        const QJsonObject slide = slides.at(s).toObject();
        const QJsonArray states = slide.value(QLatin1String("states")).toArray();
        if (states.isEmpty() || states.size() > maxStatesPerSlide) {
            return fail(where + QStringLiteral(" has no pages"));
        }
        SlideDescription d;
        for (qsizetype i = 0; i < states.size(); ++i) {
            const QJsonObject state = states.at(i).toObject();
            const std::optional<int> page =
                pageNumber(state.value(QLatin1String("page")), pageCount);
            if (!page) {
                return fail(where + QStringLiteral(" names a page the PDF does not have"));
            }
            BuildState b{*page, false, 0};
            if (i > 0 &&
                state.value(QLatin1String("trigger")).toString() == QLatin1String("auto")) {
                b.automatic = true;
                b.delaySeconds = seconds(state.value(QLatin1String("delay"))).value_or(0);
            }
            d.states.push_back(b);
        }
        d.hidden = slide.value(QLatin1String("hidden")).toBool(false);
        const QJsonObject transition = slide.value(QLatin1String("transition")).toObject();
        d.transition.kind =
            transitionKindFromName(transition.value(QLatin1String("kind")).toString());
        d.transition.direction =
            transitionDirectionFromName(transition.value(QLatin1String("direction")).toString());
        d.transition.seconds = seconds(transition.value(QLatin1String("duration"))).value_or(0);
        if (d.transition.seconds == 0) {
            d.transition.kind = TransitionKind::Cut;
        }
        d.advanceAfterSeconds = seconds(slide.value(QLatin1String("advanceAfter")));
        deck.slides.push_back(std::move(d));
    }
    for (const QJsonValue &v : root.value(QLatin1String("report")).toArray()) {
        const QJsonObject r = v.toObject();
        const QString message = r.value(QLatin1String("message")).toString();
        if (message.isEmpty()) {
            continue;
        }
        const int slide = r.value(QLatin1String("slide")).toInt(0);
        deck.report.push_back(slide > 0 ? QStringLiteral("slide %1: %2").arg(slide).arg(message)
                                        : message);
    }
    return deck;
}

} // namespace pa::host
