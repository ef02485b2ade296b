#pragma once

// What is wrong with a file named as a deck before anything reads it: empty when it may be
// opened, else the whole message for the controllers. It asks the file system only (which
// may hang on a share that does not answer), so it runs on a worker.

#include <QString>

namespace pa::host {

QString deckFileProblem(const QString &path);

} // namespace pa::host
