#pragma once

// Files the user or the journal names may be anything: a named pipe blocks whoever opens it
// until a writer comes, a device may never end, a file on a network share that hangs blocks
// its reader in the kernel. Everything the host reads by name goes through here: refused
// by type before any read, and read with a deadline.

#include <QByteArray>
#include <QString>

#include <optional>

namespace pa::host {

// Empty for a regular file (or a missing one, which the open reports); otherwise what it
// is, as in "is a named pipe, not a file".
QString notARegularFile(const QString &path);

// Opens a regular file for reading without ever blocking on the open; -1 with *why (for
// "The file X <why>.") when it is not one or cannot be opened.
int openRegularFile(const QString &path, QString *why);

// The whole file, at most maxBytes, read by a thread of its own; nullopt with *why when it
// is not a regular file, is larger, cannot be read, or is not read within deadlineMs (the
// reading thread is then left to itself).
std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, int deadlineMs,
                                          QString *why);

// A text on one line: control characters (a newline in a file name) written as escapes,
// so nobody can forge a line of the log or split the listing.
QString oneLine(const QString &text);

} // namespace pa::host
