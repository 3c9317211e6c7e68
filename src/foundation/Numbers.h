#pragma once

#include <QString>

#include <optional>

// Number and optional-text helpers.

// `value` rounded to the nearest multiple of `step`, halves away from zero
// (25 to the nearest 10 is 30, -25 is -30). A step of 0 leaves the value
// as it is; results beyond the integer range stop at its ends.
qint64 roundToNearest(qint64 value, qint64 step);
// The same for the whole part of `value`, its fraction dropped first (12.7
// to the nearest 5 is 10).
double roundToNearest(double value, qint64 step);
// `value` rounded to `digits` decimals, halves away from zero; negative
// digits round to tens, hundreds…
double rounded(double value, int digits);
// At most two decimals, trailing zeros dropped, in the user's locale ("1,234.5").
QString stringSuppressingTrailingZero(double value);
QString asString(qint64 value);
// `singular` for exactly 1, else `plural`.
QString singular(qint64 count, const QString &singular, const QString &plural);
QString orEmpty(const std::optional<QString> &text);
// The text, or "nil".
QString orNil(const std::optional<QString> &text);
