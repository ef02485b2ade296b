#pragma once

// What tells two copies of a show apart: a short digest of a deck file's bytes, and of a show
// script's lines. A backup compares them with its main's before it follows.

#include <QString>
#include <QStringList>

namespace remote {

// The first 16 hex digits of the SHA-256 of the file's content; empty when it cannot be read.
// Remembered by path, size and modification time, so a deck is read once per load, not at
// every state.
QString fileFingerprint(const QString &path);

// The same digest of the script's lines (their text, not the file's line ends).
QString scriptFingerprint(const QStringList &lines);

} // namespace remote
