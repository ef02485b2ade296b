#include "follow_rules.h"

#include "platform/screen_blank.h"

#include <QRegularExpression>

namespace remote::follow {

namespace {

Screen screenFrom(const QJsonObject &object)
{
    Screen screen;
    screen.showing = object.value(QStringLiteral("showing")).toInt();
    if (object.value(QStringLiteral("build")).isDouble()) {
        screen.build = object.value(QStringLiteral("build")).toInt();
    }
    if (object.value(QStringLiteral("blank")).isString()) {
        screen.blank = object.value(QStringLiteral("blank")).toString();
    }
    screen.slides = object.value(QStringLiteral("slides")).toInt();
    screen.deck = object.value(QStringLiteral("deck")).toString();
    return screen;
}

// The texts of one screen's presses: Corvane names the screen, Kestro has only one.
struct Presses
{
    QString next, previous;
    QString gotoSlide; // with %1 the slide
    QString black, white, show;
};

Presses pressesOf(Program program, int screen)
{
    if (program == Program::Kestro) {
        return {QStringLiteral("N"),     QStringLiteral("P"),     QStringLiteral("SLIDE %1"),
                QStringLiteral("BLACK"), QStringLiteral("WHITE"), QStringLiteral("SHOW")};
    }
    const QString n = QString::number(screen);
    return {n + QLatin1Char('N'),
            n + QLatin1Char('P'),
            QStringLiteral("GOTO ") + n + QStringLiteral(" %1"),
            QStringLiteral("BLACK ") + n,
            QStringLiteral("WHITE ") + n,
            QStringLiteral("SHOW ") + n};
}

void repeat(QStringList *steps, const QString &text, int times)
{
    for (int i = 0; i < std::min(times, maxPresses); ++i) {
        steps->append(text);
    }
}

} // namespace

QString healthWord(Health health)
{
    switch (health) {
    case Health::Off:
        return QStringLiteral("off");
    case Health::InStep:
        return QStringLiteral("in-step");
    case Health::CatchingUp:
        return QStringLiteral("catching-up");
    case Health::Lost:
        return QStringLiteral("lost");
    case Health::Mismatch:
        return QStringLiteral("mismatch");
    }
    return {};
}

Show showFromState(Program program, const QJsonObject &state)
{
    Show show;
    if (program == Program::Kestro) {
        show.screens.append(screenFrom(state));
        return show;
    }
    show.line = state.value(QStringLiteral("line")).toInt();
    show.lines = state.value(QStringLiteral("lines")).toInt();
    show.script = state.value(QStringLiteral("script")).toString();
    for (int screen = 1; screen <= 3; ++screen) {
        show.screens.append(
            screenFrom(state.value(QStringLiteral("screen%1").arg(screen)).toObject()));
    }
    return show;
}

Show showFromState(Program program, const State &state)
{
    return showFromState(program, stateJson(state, 0));
}

QString mismatch(Program program, const Show &main, const Show &own)
{
    QStringList reasons;
    for (qsizetype i = 0; i < main.screens.size(); ++i) {
        const Screen &theirs = main.screens.at(i);
        const Screen mine = i < own.screens.size() ? own.screens.at(i) : Screen{};
        // A count of 0 beside a deck is one not counted yet: the fingerprint tells alone then.
        const bool counted =
            (theirs.slides > 0 && mine.slides > 0) || theirs.deck.isEmpty() || mine.deck.isEmpty();
        if (theirs.deck != mine.deck || (counted && theirs.slides != mine.slides)) {
            reasons.append(program == Program::Kestro
                               ? QStringLiteral("deck differs")
                               : QStringLiteral("screen %1 deck differs").arg(i + 1));
        }
    }
    if (main.lines != own.lines || main.script != own.script) {
        reasons.append(QStringLiteral("script differs"));
    }
    return reasons.join(QStringLiteral("; "));
}

QStringList stepsToFollow(Program program, const Show &main, const Show &own)
{
    QStringList steps;
    if (main.line >= 1 && own.line != main.line) {
        // Step as the main did when it is one step away, so the script's boxes and previews
        // come out as the main's; a jump restores the line.
        if (own.line >= 1 && main.line == own.line + 1) {
            steps.append(QStringLiteral("N"));
        } else if (main.line == own.line - 1) {
            steps.append(QStringLiteral("P"));
        } else {
            steps.append(QStringLiteral("LINE %1").arg(main.line));
        }
        return steps;
    }
    for (qsizetype i = 0; i < main.screens.size() && i < own.screens.size(); ++i) {
        const Screen &theirs = main.screens.at(i);
        const Screen &mine = own.screens.at(i);
        const Presses presses = pressesOf(program, int(i) + 1);
        if (theirs.showing >= 1 && mine.showing >= 1) {
            const bool builds = theirs.build && mine.build;
            if (theirs.showing != mine.showing) {
                steps.append(presses.gotoSlide.arg(theirs.showing));
                if (theirs.build) {
                    repeat(&steps, presses.next, *theirs.build);
                }
            } else if (builds && *mine.build < *theirs.build) {
                repeat(&steps, presses.next, *theirs.build - *mine.build);
            } else if (builds && *mine.build > *theirs.build) {
                repeat(&steps, presses.previous, *mine.build - *theirs.build);
            }
        }
        if (theirs.blank && mine.blank && *theirs.blank != *mine.blank) {
            if (*theirs.blank == QLatin1String("black")) {
                steps.append(presses.black);
            } else if (*theirs.blank == QLatin1String("white")) {
                steps.append(presses.white);
            } else if (*theirs.blank == QLatin1String("none")) {
                steps.append(presses.show);
            }
        }
    }
    return steps;
}

std::optional<std::pair<int, int>> gotoText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^GOTO ([123]) (\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return std::pair(match.captured(1).toInt(), match.captured(2).toInt());
}

bool isStep(Program program, const QString &text)
{
    static const QRegularExpression corvane(QStringLiteral("^(N|P|[123][NP]|LINE \\d+)$"));
    static const QRegularExpression kestro(QStringLiteral("^(N|P|SLIDE .*)$"));
    if (program == Program::Corvane) {
        return corvane.match(text).hasMatch() || platform::blankCommand(text, 3).has_value();
    }
    return kestro.match(text).hasMatch() || platform::blankCommand(text, 0).has_value();
}

} // namespace remote::follow
