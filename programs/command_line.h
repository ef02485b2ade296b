#pragma once

// --help and --version of the three programs. They must answer on a machine without a
// display (a terminal, a package check), so they are handled before QApplication exists.

#include <QString>

#include <optional>

class QCoreApplication;

namespace programs {

// Sets the program's name, version and menu entry; answers --help or --version and returns the exit
// code when one was asked for, otherwise nothing.
std::optional<int> answerBeforeStart(int argc, char *argv[], const QString &name,
                                     const QString &description);

// After QApplication has taken its own options (-platform, -style...): anything left is an
// error, reported with a hint, and ends the program.
void rejectUnknownArguments(const QCoreApplication &app, const QString &description);

} // namespace programs
