#pragma once

// The whole show as pictures: one row per line Next walks through, with what each screen
// shows after that line.

#include "script_check.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace showcheck {

struct StoryScreen
{
    int slide = 1;      // what the screen shows after the line
    bool moved = false; // Next switched it on this line
    QString note;       // why it did not move as written, or how the preview differs
};

struct StoryRow
{
    int line = 0; // from 1
    QString text;
    QString description; // the step box's text, or what happens instead
    std::array<StoryScreen, 3> screens;
};

// Walks the reached lines as Next does, starting with every screen on slide 1. A slide
// outside a deck (count given) is refused by the application, so that screen stays.
std::vector<StoryRow> storyRows(const ScriptCheck &script,
                                const std::array<std::optional<int>, 3> &slideCounts);

struct StoryPage
{
    QString title;                    // the script's file name
    std::array<QString, 3> deckNames; // shown over each column
    QSize thumbnailSize;
};

// A picture of a screen's slide as JPEG bytes; throws pa::AutomationError when it cannot.
using Thumbnail = std::function<QByteArray(int screen, int slide)>;
// A slide's builds (Next presses inside it) on a screen; nullopt when not known.
using BuildCount = std::function<std::optional<int>(int screen, int slide)>;

// One self-contained XHTML page: every picture embedded as a data URI. A picture that
// could not be made is a marked box with the reason. The pictures show each slide fully built;
// its caption says how many builds lead there, when builds says.
QString storyboardHtml(const StoryPage &page, const std::vector<StoryRow> &rows,
                       const Thumbnail &thumbnail, const BuildCount &builds = {});

} // namespace showcheck
