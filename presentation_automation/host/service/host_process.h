#pragma once

// What the host process sets up for itself at start: room for many open decks, and an
// orderly end when it is asked to end.

#include <QString>

namespace pa::host {

// Raises the soft limit of open files to the hard one, so the number of decks on screen,
// not a default of 1024, is what bounds the host. Returns a line for the log.
QString raiseOpenFileLimit();

// SIGTERM, SIGINT and SIGHUP quit the event loop instead of killing the process, so the
// host ends cleanly (its journal removed, its socket file too).
void quitOnTerminationSignals();

// True when this process (or the system) has no file descriptor left to give: an open that
// failed now failed for lack of resources, not because of the file.
bool outOfFileDescriptors();

// One line in the host's log (its standard error, which the client sends to host.log).
void hostLog(const QString &line);

} // namespace pa::host
