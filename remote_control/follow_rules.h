#pragma once

// How a backup follows its main: from the main's state and its own, the queue texts that put
// its screens where the main's are, and why it must not follow when the shows differ. Pure
// rules: the link and the window are elsewhere.

#include "remote_control/commands.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace remote::follow {

// One screen as a state tells it.
struct Screen
{
    int showing = 0;              // the slide its show is on; 0 when it has none
    std::optional<int> build;     // on-click builds shown on it; nullopt when not told
    std::optional<QString> blank; // "black", "white" or "none"; nullopt when not told
    int slides = 0;               // its deck's slide count
    QString deck;                 // its deck's fingerprint
};

// A show as a state tells it. Kestro has one screen and no script.
struct Show
{
    int line = 0; // the script line on the screens, 1 the opening line; 0 no script
    int lines = 0;
    QString script; // the script's fingerprint
    QList<Screen> screens;
};

enum class Health
{
    Off,
    InStep,
    CatchingUp,
    Lost,
    Mismatch,
};

// "off", "in-step", "catching-up", "lost", "mismatch".
QString healthWord(Health health);

// Reads a show from a state as the WebSocket sends it (screenN objects for Corvane).
Show showFromState(Program program, const QJsonObject &state);
Show showFromState(Program program, const State &state);

// Why the backup's show is not the main's ("screen 2 deck differs; script differs"); empty
// when both have the same decks and script.
QString mismatch(Program program, const Show &main, const Show &own);

// The queue texts that bring own to main: a script step first (N, P or LINE k), alone, as the
// screens are only known again once it has run; else, for each screen, a go-to and Next or
// Previous presses to its build step, then its blank. Empty when own is where main is.
QStringList stepsToFollow(Program program, const Show &main, const Show &own);

// A follower's go-to of one Corvane screen, "GOTO s n": the screen and the slide.
std::optional<std::pair<int, int>> gotoText(const QString &text);

// Whether a queue text steps the show (and so, run on a backup, takes it off its main).
bool isStep(Program program, const QString &text);

// The longest run of presses one round may ask for: a state that claims more is not trusted.
constexpr int maxPresses = 64;

} // namespace remote::follow
