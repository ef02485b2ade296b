#pragma once

// The screen numbers file: the nine placement numbers of the geometry window, as saved.

#include <QString>
#include <QStringList>

namespace screennumbers {

// Where the numbers are kept, as the operator knows it.
inline const QString fileName = QStringLiteral("C:\\Orvanta Screen Numbers.txt");

// The file's one line: the nine texts unchanged, each followed by ",", then "1" and CR LF.
QString line(const QStringList &nineTexts);

// The nine texts of a file's content (split at every ","; the tenth field and any after it
// are not used). Throws AutomationError when fewer than nine fields are there.
QStringList fields(const QString &content);

// 1..4 for exactly "Com1".."Com4", 0 for any other text.
int portNumber(const QString &text);

} // namespace screennumbers
