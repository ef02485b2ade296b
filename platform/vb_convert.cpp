#include "vb_convert.h"

#include "error.h"

#include <cmath>
#include <limits>

namespace platform {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode is to nearest, ties to even
}

template<typename Int>
Int toInteger(const QString &text)
{
    const double rounded = roundHalfEven(parseNumber(text));
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
        throw runtimeError("Overflow");
    }
    return static_cast<Int>(rounded);
}

} // namespace

double parseNumber(const QString &text)
{
    int begin = 0;
    int end = static_cast<int>(text.size());
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    const QString body = text.mid(begin, end - begin);
    // Only plain decimal notation: no hex, no "inf"/"nan", no thousands separators.
    bool digitSeen = false;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c.isDigit() && c.unicode() < 128) {
            digitSeen = true;
        } else if (c != QLatin1Char('+') && c != QLatin1Char('-') && c != QLatin1Char('.') &&
                   c != QLatin1Char('e') && c != QLatin1Char('E')) {
            throw runtimeError("Type mismatch");
        }
    }
    bool ok = false;
    const double value = digitSeen ? body.toDouble(&ok) : 0.0;
    if (!ok || !std::isfinite(value)) {
        throw runtimeError("Type mismatch");
    }
    return value;
}

std::int16_t toInt16(const QString &text)
{
    return toInteger<std::int16_t>(text);
}

std::int32_t toInt32(const QString &text)
{
    return toInteger<std::int32_t>(text);
}

float toSingle(const QString &text)
{
    const double value = parseNumber(text);
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        throw runtimeError("Overflow");
    }
    return static_cast<float>(value);
}

} // namespace platform
