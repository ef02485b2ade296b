#pragma once

// The display numbers: where the slide show window goes (left, top, width in points), and
// the one-line file that keeps them.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kestro {

// Where the show goes while the operator has confirmed no numbers in this run: beside a
// primary display of 1024 x 768.
constexpr std::int16_t defaultLeft = 769;
constexpr std::int16_t defaultTop = 0;
constexpr std::int16_t defaultWidth = 768;

inline constexpr const char *displayNumbersPath = "C:\\Kestro";

struct DisplayNumbers
{
    std::int16_t left = defaultLeft;
    std::int16_t top = defaultTop;
    std::int16_t width = defaultWidth;
};

// The file's content: the three texts as they stand, joined by "," and ended by CR LF.
QString displayNumbersLine(const QString &left, const QString &top, const QString &width);

// The first three fields of the file's first line; further fields are ignored. Throws
// pa::AutomationError when the line holds fewer than three.
QStringList displayNumbersFields(const QString &line, const QString &fileName);

// The three box texts as 16-bit numbers; throws pa::AutomationError naming the box whose
// text is no number or out of range.
DisplayNumbers toDisplayNumbers(const QString &left, const QString &top, const QString &width);

} // namespace kestro
