#include "show_script.h"

#include <QRegularExpression>

#include "platform/error.h"

#include <algorithm>

namespace showscript {

namespace {

const QString lineBreak = QStringLiteral("\r\n");

// The code table: code n switches these screens in this order. Codes 1-3 are single screens,
// 4-9 the ordered pairs, 10-15 the orders of all three, each group in lexicographic order.
const std::vector<int> namedScreens[16] = {
    {},     {1},    {2},       {3},       {1, 2},    {1, 3},    {2, 1},    {2, 3},
    {3, 1}, {3, 2}, {1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1},
};

std::array<int, 3> withOthersAscending(std::vector<int> first)
{
    for (int screen = 1; screen <= 3; ++screen) {
        if (std::find(first.begin(), first.end(), screen) == first.end()) {
            first.push_back(screen);
        }
    }
    return {first[0], first[1], first[2]};
}

QString screenLine(int screen, const QStringList &fields, bool alone)
{
    const QString slide = fieldAt(fields, slideField(screen));
    // In a multi-screen text the Screen 2 line starts with a blank; alone it does not.
    if (screen == 2 && !alone) {
        return QStringLiteral(" Advance Screen 2 to Slide ") + slide;
    }
    return QStringLiteral("Advance Screen %1 to Slide ").arg(screen) + slide;
}

} // namespace

QStringList splitLines(const QString &text)
{
    if (text.isEmpty()) {
        return {};
    }
    return text.split(lineBreak, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString lineAt(const QStringList &lines, int index)
{
    if (index < 0 || index >= lines.size()) {
        return {};
    }
    return lines.at(index);
}

QString takeLine(const QStringList &lines, int index)
{
    if (index < 0 || index >= lines.size()) {
        throw platform::runtimeError(QStringLiteral("Subscript out of range"));
    }
    return lines.at(index);
}

QStringList fieldsOf(const QString &line)
{
    if (line.isEmpty()) {
        return {};
    }
    return line.split(QLatin1Char(','), Qt::KeepEmptyParts);
}

QString fieldAt(const QStringList &fields, int index)
{
    if (index < 0 || index >= fields.size()) {
        throw platform::runtimeError(QStringLiteral("Subscript out of range"));
    }
    return fields.at(index);
}

std::optional<int> stepCode(const QStringList &fields)
{
    if (fields.isEmpty()) {
        return std::nullopt;
    }
    const QString &code = fields.first();
    for (int n = 0; n < 16; ++n) {
        if (code == QString::number(n)) {
            return n;
        }
    }
    return std::nullopt;
}

std::vector<int> screensNamed(int code)
{
    if (code < 0 || code > 15) {
        return {};
    }
    return namedScreens[code];
}

std::array<int, 3> switchOrder(int code)
{
    return withOthersAscending(screensNamed(code));
}

std::vector<int> screensNamedAscending(int code)
{
    std::vector<int> named = screensNamed(code);
    std::sort(named.begin(), named.end());
    return named;
}

std::array<int, 3> pictureOrder(int code)
{
    return withOthersAscending(screensNamedAscending(code));
}

QString stepDescription(const QStringList &fields)
{
    const std::optional<int> code = stepCode(fields);
    if (!code) {
        throw platform::runtimeError(QStringLiteral("Invalid procedure call or argument"));
    }
    if (*code == 0) {
        return QStringLiteral("Beginning of Slide Show");
    }
    const std::vector<int> screens = screensNamed(*code);
    QStringList lines;
    for (int screen : screens) {
        lines.append(screenLine(screen, fields, screens.size() == 1));
    }
    return lines.join(lineBreak);
}

int showLength(const QStringList &lines)
{
    // The position is 16-bit and a go-to sets it two past the line.
    constexpr int reachable = 32765;
    int length = 0;
    while (length < lines.size() && length < reachable && !lines.at(length).isEmpty()) {
        ++length;
    }
    return length;
}

std::optional<int> lineCommand(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^LINE ([1-9][0-9]{0,4})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return match.captured(1).toInt();
}

} // namespace showscript
