#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// Number conversions with the rules of the original platform's string-to-number casts:
// blanks around the number are allowed, a sign, a decimal fraction and an exponent may be
// given, and a fraction is rounded to the nearest whole number, a half to the even one.
// A text that is no number throws AutomationError "Type mismatch"; a value out of range
// throws "Overflow".
std::int16_t toInt16(const QString &text);
std::int32_t toInt32(const QString &text);
float toSingle(const QString &text);

// Parses the number without range checks; throws "Type mismatch".
double parseNumber(const QString &text);

} // namespace platform
