#pragma once

// The show script: one step per line, "code,slide 1,slide 2,slide 3". These rules are shared
// by loading a script, Next Slide and Previous Slide.

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace showscript {

// The whole file text cut at every CR LF; a lone CR or LF stays inside its line. A file that
// ends with CR LF gives a final empty line; an empty file gives no lines at all.
QStringList splitLines(const QString &text);

// The line at index, or an empty text when the index lies outside the script: stepping
// forward treats both as the end of the show.
QString lineAt(const QStringList &lines, int index);

// The line at index; throws "Subscript out of range" when the index lies outside the script.
QString takeLine(const QStringList &lines, int index);

// The fields of a line, cut at every ","; nothing is trimmed. An empty line has no fields.
QStringList fieldsOf(const QString &line);

// The field at index; throws "Subscript out of range" when the line has no such field.
QString fieldAt(const QStringList &fields, int index);

// Field 0 as a step code when it is exactly one of "0" to "15"; otherwise none.
std::optional<int> stepCode(const QStringList &fields);

// The screens (1, 2, 3) that code switches going forward, in switching order. Code 0: none.
std::vector<int> screensNamed(int code);

// The same screens in ascending order: the order their pictures are refreshed in.
std::vector<int> screensNamedAscending(int code);

// Going back every screen is switched: first the named ones in the code's order, then the
// others in ascending order.
std::array<int, 3> switchOrder(int code);

// Pictures are refreshed for the named screens in ascending order, then for the others in
// ascending order.
std::array<int, 3> pictureOrder(int code);

// The field that holds a screen's slide: field 1 for Screen 1, and so on.
inline int slideField(int screen)
{
    return screen;
}

// The text of a step in the script boxes. Code 0 is "Beginning of Slide Show"; the others
// list each switched screen's line in switching order, joined by CR LF. Throws when a field
// that the text needs is missing, or when the line has no step code.
QString stepDescription(const QStringList &fields);

// How many lines the show walks: those before the first empty line, no more than the
// script position can reach.
int showLength(const QStringList &lines);

// k of a remote's "LINE k" (k a plain positive number), else nothing.
std::optional<int> lineCommand(const QString &text);

} // namespace showscript
