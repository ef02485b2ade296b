#pragma once

#include <QString>

namespace platform {

// Single-byte ("ANSI") text files, decoded and encoded with the system's 8-bit codec.

// Reads the whole file; throws AutomationError naming the file when it is missing, is not a
// regular file or cannot be read.
QString readAnsiTextFile(const QString &path);

// Writes the whole file beside the old one and replaces it only once complete, so a failed
// write never leaves an empty or half file. Throws AutomationError on failure.
void writeAnsiTextFile(const QString &path, const QString &text);

} // namespace platform
