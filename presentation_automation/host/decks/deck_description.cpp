#include "presentation_automation/host/decks/deck_description.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace pa::host {

namespace {

// Longer than any real delay or slide timing; anything past it is a damaged file.
constexpr double maxSeconds = 24.0 * 3600.0;
// A deck of this many slides or states is damaged, not large.
constexpr qsizetype maxSlides = 100000;
constexpr qsizetype maxStatesPerSlide = 10000;
constexpr qsizetype maxEffectsPerState = 1000;

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

// A medium as the importer wrote it; nullopt for one the host cannot take (a name that leaves
// the media folder, a rectangle off the page, a state the slide does not have).
std::optional<MediaClip> mediaClip(const QJsonObject &o, size_t stateCount)
{
    MediaClip clip;
    clip.file = o.value(QLatin1String("file")).toString();
    if (clip.file.isEmpty() || clip.file.size() > 255 || clip.file.contains(QLatin1Char('/')) ||
        clip.file.contains(QLatin1Char('\\')) || clip.file.startsWith(QLatin1Char('.'))) {
        return std::nullopt;
    }
    clip.kind = o.value(QLatin1String("kind")).toString() == QLatin1String("audio")
                    ? MediaKind::Audio
                    : MediaKind::Video;
    const QJsonArray r = o.value(QLatin1String("rect")).toArray();
    double v[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < 4 && r.size() == 4; ++i) {
        v[i] = r.at(i).toDouble(std::nan(""));
        if (!std::isfinite(v[i]) || std::abs(v[i]) > 10) {
            return std::nullopt;
        }
    }
    clip.rect = QRectF(v[0], v[1], v[2], v[3]).intersected(QRectF(0, 0, 1, 1));
    if (clip.kind == MediaKind::Video && clip.rect.isEmpty()) {
        return std::nullopt;
    }
    const double start = o.value(QLatin1String("start")).toDouble(0);
    if (!std::isfinite(start) || start != std::floor(start) || start < 0 ||
        start >= static_cast<double>(stateCount)) {
        return std::nullopt;
    }
    clip.startState = static_cast<int>(start);
    clip.loop = o.value(QLatin1String("loop")).toBool(false);
    const double volume = o.value(QLatin1String("volume")).toDouble(1.0);
    clip.volume = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
    clip.trimStartSeconds = seconds(o.value(QLatin1String("trimStart"))).value_or(0);
    clip.trimEndSeconds = seconds(o.value(QLatin1String("trimEnd"))).value_or(0);
    clip.hideWhenStopped = o.value(QLatin1String("hideWhenStopped")).toBool(false);
    const double span = o.value(QLatin1String("slides")).toDouble(1);
    clip.slideSpan = std::isfinite(span) && span >= 1
                         ? static_cast<int>(std::min(span, static_cast<double>(maxSlides)))
                         : 1;
    return clip;
}

// An effect as the importer wrote it; nullopt for one the host cannot take (no sprite, or a
// box or timing that no real deck has).
std::optional<SlideEffect> slideEffect(const QJsonObject &o, int pageCount)
{
    SlideEffect e;
    e.family = effectFamilyFromName(o.value(QLatin1String("family")).toString());
    e.preset = o.value(QLatin1String("preset")).toString().left(100);
    e.subtype = o.value(QLatin1String("subtype")).toString().left(100);
    const QString start = o.value(QLatin1String("start")).toString();
    e.start = start == QLatin1String("with")    ? EffectStart::WithPrevious
              : start == QLatin1String("after") ? EffectStart::AfterPrevious
                                                : EffectStart::OnClick;
    e.delaySeconds = seconds(o.value(QLatin1String("delay"))).value_or(0);
    e.durationSeconds = seconds(o.value(QLatin1String("duration"))).value_or(0);
    const auto fraction = [&o](const char *key) {
        const double v = o.value(QLatin1String(key)).toDouble(0);
        return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
    };
    e.accelerate = fraction("accelerate");
    e.decelerate = fraction("decelerate");
    if (e.accelerate + e.decelerate > 1) {
        const double sum = e.accelerate + e.decelerate;
        e.accelerate /= sum;
        e.decelerate /= sum;
    }
    const double repeat = o.value(QLatin1String("repeat")).toDouble(1);
    e.repeat = std::isfinite(repeat) ? std::clamp(repeat, 0.0, 1000.0) : 1;
    e.autoReverse = o.value(QLatin1String("autoReverse")).toBool(false);
    e.paragraph = o.value(QLatin1String("target")).toString() == QLatin1String("paragraph");
    const std::optional<int> sprite = pageNumber(o.value(QLatin1String("sprite")), pageCount);
    if (!sprite) {
        return std::nullopt;
    }
    e.spritePage = *sprite;
    e.spriteAfterPage = pageNumber(o.value(QLatin1String("spriteAfter")), pageCount).value_or(-1);
    const QJsonArray r = o.value(QLatin1String("rect")).toArray();
    if (r.size() != 4) {
        return std::nullopt;
    }
    double v[4];
    for (qsizetype i = 0; i < 4; ++i) {
        v[i] = r.at(i).toDouble(std::nan(""));
        if (!std::isfinite(v[i]) || std::abs(v[i]) > 10) {
            return std::nullopt;
        }
    }
    e.rect = QRectF(v[0], v[1], v[2], v[3]);
    if (e.rect.isEmpty()) {
        return std::nullopt;
    }
    e.path = o.value(QLatin1String("path")).toString().left(100000);
    const double amount = o.value(QLatin1String("amount")).toDouble(0);
    e.amount = std::isfinite(amount) ? std::clamp(amount, -100000.0, 100000.0) : 0;
    return e;
}

} // namespace

QByteArray plainDescriptionJson(int pageCount, const QStringList &report)
{
    QJsonArray slides;
    for (int page = 0; page < pageCount; ++page) {
        slides.append(QJsonObject{
            {QStringLiteral("states"), QJsonArray{QJsonObject{{QStringLiteral("page"), page}}}}});
    }
    QJsonArray lines;
    for (const QString &line : report) {
        lines.append(QJsonObject{{QStringLiteral("message"), line}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), 1},
                                     {QStringLiteral("importer"), QString()},
                                     {QStringLiteral("slides"), slides},
                                     {QStringLiteral("report"), lines}})
        .toJson(QJsonDocument::Compact);
}

EffectFamily effectFamilyFromName(const QString &name)
{
    if (name == QLatin1String("exit")) {
        return EffectFamily::Exit;
    }
    if (name == QLatin1String("emphasis")) {
        return EffectFamily::Emphasis;
    }
    if (name == QLatin1String("motion")) {
        return EffectFamily::MotionPath;
    }
    return EffectFamily::Entrance;
}

QString effectFamilyName(EffectFamily family)
{
    switch (family) {
    case EffectFamily::Entrance:
        return QStringLiteral("entrance");
    case EffectFamily::Exit:
        return QStringLiteral("exit");
    case EffectFamily::Emphasis:
        return QStringLiteral("emphasis");
    case EffectFamily::MotionPath:
        return QStringLiteral("motion");
    }
    return QStringLiteral("entrance");
}

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
        deck.slides[static_cast<size_t>(i)].states.emplace_back().page = i;
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

QString mediaFolderFor(const QString &pdf)
{
    return pdf + QStringLiteral(".media");
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
            BuildState b;
            b.page = *page;
            if (i > 0 &&
                state.value(QLatin1String("trigger")).toString() == QLatin1String("auto")) {
                b.automatic = true;
                b.delaySeconds = seconds(state.value(QLatin1String("delay"))).value_or(0);
            }
            if (i > 0) {
                b.underPage =
                    pageNumber(state.value(QLatin1String("under")), pageCount).value_or(-1);
                const QJsonArray effects = state.value(QLatin1String("effects")).toArray();
                for (qsizetype k = 0; k < effects.size() && k < maxEffectsPerState; ++k) {
                    if (auto effect = slideEffect(effects.at(k).toObject(), pageCount)) {
                        b.effects.push_back(std::move(*effect));
                    } else {
                        deck.report.push_back(
                            QStringLiteral("slide %1: an effect whose description is damaged "
                                           "is drawn as a cut")
                                .arg(s + 1));
                    }
                }
            }
            d.states.push_back(std::move(b));
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
        for (const QJsonValue &m : slide.value(QLatin1String("media")).toArray()) {
            if (auto clip = mediaClip(m.toObject(), d.states.size())) {
                d.media.push_back(std::move(*clip));
            } else {
                deck.report.push_back(
                    QStringLiteral("slide %1: a medium whose description is damaged is not "
                                   "played")
                        .arg(s + 1));
            }
        }
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
