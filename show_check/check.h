#pragma once

// corvane-check: the script, its decks, a storyboard and the window layout, checked
// before the show. The program's main only wires the real application and displays in.

#include "layout.h"

#include "presentation_automation/automation.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace showcheck {

enum ExitStatus
{
    exitClean = 0,
    exitProblems = 1,
    exitUnreadable = 2,
};

struct Options
{
    QString script; // may be empty with --layout alone
    std::array<QString, 3> decks;
    bool haveDecks = false;
    QString storyboard;
    bool layout = false;
    QString layoutPng;
    bool json = false;
    bool help = false;
    bool version = false;
    double aspect = 4.0 / 3.0; // slides' width over height
    QString aspectText = QStringLiteral("4:3");
    int thumbnailWidth = 240;
};

// The arguments after the program name; a non-empty error is a usage error (exit 2).
Options parseArguments(const QStringList &arguments, QString &error);

QString usageText();

struct CheckEnvironment
{
    pa::ApplicationFactory createApplication;
    // The current displays; none when the program runs without any (no --layout then).
    std::function<std::optional<std::vector<Display>>()> displays;
    QString screenNumbersPath; // the saved screen numbers file, already mapped
};

int runCheck(const Options &options, const CheckEnvironment &environment, QTextStream &out,
             QTextStream &err);

} // namespace showcheck
