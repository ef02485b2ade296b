#pragma once

// What a deck is made of beyond its pages: slides, each a sequence of build states (one PDF
// page per state), with the slide's transition, its timings and whether it is hidden, and
// the deck's own show settings. An imported .pptx/.odp carries one beside its PDF
// ("<pdf>.steps.json"); a plain PDF is one state per page.
//
// The file, as the importer writes it:
//   { "format": 1, "importer": "<version>",
//     "show": { "loop": false, "useTimings": true },
//     "slides": [ { "states": [ { "page": 0 },
//                               { "page": 1, "trigger": "click", "under": 5,
//                                 "effects": [ { "family": "entrance",
//                                   "preset": "ooo-entrance-fly-in", "subtype": "from-left",
//                                   "start": "click", "delay": 0, "duration": 0.5,
//                                   "accelerate": 0, "decelerate": 0, "repeat": 1,
//                                   "autoReverse": false, "target": "shape", "sprite": 6,
//                                   "rect": [ 0.1, 0.2, 0.3, 0.1 ] } ] },
//                               { "page": 2, "trigger": "auto", "delay": 0.5 } ],
//                   "hidden": false,
//                   "transition": { "kind": "fade", "direction": "left", "duration": 0.7 },
//                   "advanceAfter": 1.0,
//                   "media": [ { "file": "media1.mp4", "kind": "video",
//                                "rect": [ 0.1, 0.2, 0.5, 0.5 ], "start": 1,
//                                "loop": false, "volume": 1.0, "trimStart": 0,
//                                "trimEnd": 0, "hideWhenStopped": false, "slides": 1 } ] } ],
//     "report": [ { "slide": 3, "effect": "emphasis", "message": "..." } ] }
// Pages are 0-based page numbers of the PDF. The first state of a slide has no trigger; a
// "click" state is reached by Next, an "auto" state on its own `delay` seconds after the
// state before it is shown (and by Next too). "advanceAfter" (seconds, absent when the slide
// waits for Next) leaves the slide on its own once its last state is shown.
// A state's "effects" play on the way to it from the state before (by Next or its own delay):
// each animates one object's "sprite" (a page holding that object alone, nothing under it)
// over the "under" page (the state with every object the effects move left out; absent: the
// state before's page), and the state's own page shows once they end. Effects of a step
// after a motion path start where the path left their object.
// A medium's file lies in "<pdf>.media/"; its rectangle is x, y, width and height in fractions
// of the page; it starts when the slide reaches its "start" state (0: as the slide is shown).
// "trimStart" and "trimEnd" (seconds, absent: 0) cut that much off the clip's start and end;
// "hideWhenStopped" has it seen only while it plays; "slides" is how many slides it plays
// across (absent: 1, its own).

#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pa::host {

enum class TransitionKind
{
    Cut,
    Fade,
    FadeThroughBlack,
    Dissolve,
    Push,
    Wipe,
    Cover,
    Uncover,
    Split,
};

// Left, Right, Up and Down name the edge the motion starts at: the new slide of a push,
// cover or wipe comes in from there, the old slide of an uncover moves away from there.
// The others are for split: horizontal or vertical, opening from the middle outward or
// closing from the edges inward.
enum class TransitionDirection
{
    None,
    Left,
    Right,
    Up,
    Down,
    HorizontalIn,
    HorizontalOut,
    VerticalIn,
    VerticalOut,
};

struct Transition
{
    TransitionKind kind = TransitionKind::Cut;
    TransitionDirection direction = TransitionDirection::None;
    double seconds = 0;
};

enum class EffectFamily
{
    Entrance,
    Exit,
    Emphasis,
    MotionPath,
};

// How an effect starts within its click's group, as the deck's author set it.
enum class EffectStart
{
    OnClick,
    WithPrevious,
    AfterPrevious,
};

// One animation effect on one object (a shape, or one paragraph of a text).
struct SlideEffect
{
    EffectFamily family = EffectFamily::Entrance;
    // LibreOffice's preset id ("ooo-entrance-fly-in") and sub-type ("from-left"); the preset is
    // empty for an effect the deck gives no known name, which plays as a fade.
    QString preset;
    QString subtype;
    EffectStart start = EffectStart::OnClick;
    double delaySeconds = 0; // from the step's start
    double durationSeconds = 0;
    // Fractions of the duration spent speeding up and slowing down (a trapezoid speed profile).
    double accelerate = 0;
    double decelerate = 0;
    double repeat = 1;
    bool autoReverse = false;
    bool paragraph = false;
    // 0-based pages: the object alone on a transparent page, and for an emphasis that changes
    // its look (colour, font) the object as the effect leaves it (-1: none).
    int spritePage = -1;
    int spriteAfterPage = -1;
    // The object's box on the page in fractions (x, y, width, height), where it starts.
    QRectF rect;
    // A motion path: SVG path data in fractions of the page, relative to where it starts.
    QString path;
    // Spin: degrees; grow/shrink: the scale factor; transparency: the opacity it goes to.
    double amount = 0;
};

struct BuildState
{
    int page = 0;
    bool automatic = false; // reached on its own after delaySeconds, not by a click
    double delaySeconds = 0;
    // The page the effects play over (0-based; -1: the state before's page).
    int underPage = -1;
    std::vector<SlideEffect> effects;
};

EffectFamily effectFamilyFromName(const QString &name);
QString effectFamilyName(EffectFamily family);

enum class MediaKind
{
    Video,
    Audio,
};

struct MediaClip
{
    QString file; // a plain file name in the deck's media folder
    MediaKind kind = MediaKind::Video;
    QRectF rect; // fractions of the page
    int startState = 0;
    bool loop = false;
    double volume = 1.0; // 0..1
    // Plays from trimStartSeconds into the file and ends trimEndSeconds before its end.
    double trimStartSeconds = 0;
    double trimEndSeconds = 0;
    // Shown only while it plays: its slide's pages have no poster for it.
    bool hideWhenStopped = false;
    // The slides it plays across, its own first: a sound goes on over the slides after it.
    int slideSpan = 1;

    bool trimmed() const { return trimStartSeconds > 0 || trimEndSeconds > 0; }
};

struct SlideDescription
{
    std::vector<BuildState> states; // never empty
    bool hidden = false;
    Transition transition;
    std::optional<double> advanceAfterSeconds;
    std::vector<MediaClip> media;

    // Builds reached by a click (what an operator counts as Next presses inside the slide).
    int clickBuilds() const;
    // The page that shows the slide fully built.
    int lastPage() const { return states.back().page; }
};

struct DeckDescription
{
    std::vector<SlideDescription> slides;
    bool loop = false;
    bool useTimings = true;
    QString importer;    // empty for a plain PDF
    QString mediaFolder; // where the slides' media files are; empty when they have none
    // Effects that a page cannot show, one line each ("slide 3: ...").
    QStringList report;

    int slideCount() const { return static_cast<int>(slides.size()); }
};

// One slide per page, one state per slide: a PDF as it is.
DeckDescription plainDeck(int pageCount);

// Reads a description written for a PDF of pageCount pages. nullopt with a reason when the
// file cannot be read, is not a description, or names a page the PDF does not have.
std::optional<DeckDescription> readDeckDescription(const QByteArray &json, int pageCount,
                                                   QString *why);

// A description of a deck shown one page per slide, carrying report lines (why it has no
// builds), for a PDF of pageCount pages.
QByteArray plainDescriptionJson(int pageCount, const QStringList &report);

// "<pdf>.steps.json": where the importer puts the description of a PDF it wrote.
QString descriptionPathFor(const QString &pdf);

// "<pdf>.media": the folder of the media files the importer copied out of the deck.
QString mediaFolderFor(const QString &pdf);

TransitionKind transitionKindFromName(const QString &name);
// The name the description gives the kind ("cut" for a cut).
QString transitionKindName(TransitionKind kind);
TransitionDirection transitionDirectionFromName(const QString &name);

} // namespace pa::host
