#pragma once

// Checks a show script the way Corvane will walk it: which lines Next and Previous ever
// take, what each does, and where the screens will not do what the script says.

#include "findings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace showcheck {

using Slides = std::array<int, 3>; // a slide per screen, Screen 1 first

// Corvane's script position is a 16-bit number: Next never gets past this line.
inline constexpr int lastCountedLine = 32767;

struct ScriptLine
{
    int number = 0; // from 1
    QString text;
    std::optional<int> code;
    bool reached = false;
    // What Next does here, in the main window's words (the step box's text, CR LF between
    // screens), or what happens instead.
    QString next;
    // What Previous does when it steps back to this line and that differs from Next
    // (it moves all three screens); empty when it does not matter here.
    QString previous;
};

struct ScriptCheck
{
    QStringList lines; // as Corvane cuts them
    // Lines Next or Previous ever take: up to the first empty line, at most lastCountedLine.
    int reachedLines = 0;
    std::vector<ScriptLine> listing;
    std::vector<Finding> findings;
    // The slides the script means each screen to show once a line is taken going forward
    // (index 0: after loading, every screen on slide 1).
    std::vector<Slides> intended;
};

ScriptCheck checkScript(const QString &text);

// The slide a line names for a screen, read as Corvane reads it; none when that fails.
std::optional<int> slideOf(const QStringList &fields, int screen);

// Slide numbers of the reached steps checked against the decks' slide counts (a count left
// empty is a deck not given or not opened).
std::vector<Finding> checkSlideRanges(const ScriptCheck &script,
                                      const std::array<std::optional<int>, 3> &slideCounts);

} // namespace showcheck
