#include "foundation/Numbers.h"

#include "foundation/IcuBridge.h"

#include <unicode/unum.h>

#include <cmath>
#include <limits>

namespace {

qint64 clampedToInteger(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is the first double beyond the range.
    if (value >= 9223372036854775808.0)
        return std::numeric_limits<qint64>::max();
    if (value <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(value);
}

} // namespace

qint64 roundToNearest(qint64 value, qint64 step)
{
    if (step == 0)
        return value;
    return clampedToInteger(std::round(double(value) / double(step)) * double(step));
}

double roundToNearest(double value, qint64 step)
{
    if (step == 0 || !std::isfinite(value))
        return value;
    // The whole part alone is rounded: 12.7 to the nearest 5 is 10.
    return double(roundToNearest(clampedToInteger(std::trunc(value)), step));
}

double rounded(double value, int digits)
{
    const double scale = std::pow(10.0, digits);
    // Steps too small to write leave the value; steps beyond every value give 0.
    if (!std::isfinite(value * scale))
        return value;
    if (scale == 0)
        return 0;
    return std::round(value * scale) / scale;
}

QString stringSuppressingTrailingZero(double value)
{
    UErrorCode status = U_ZERO_ERROR;
    UNumberFormat *format = unum_open(UNUM_DECIMAL, nullptr, 0, icubridge::localeId().constData(), nullptr, &status);
    if (U_FAILURE(status))
        return QStringLiteral("?.?");
    unum_setAttribute(format, UNUM_MIN_FRACTION_DIGITS, 0);
    unum_setAttribute(format, UNUM_MAX_FRACTION_DIGITS, 2);
    UChar buffer[128];
    const int32_t length = unum_formatDouble(format, value, buffer, 128, nullptr, &status);
    unum_close(format);
    if (U_FAILURE(status) || length <= 0)
        return QStringLiteral("?.?");
    return icubridge::fromUChars(buffer, length);
}

QString asString(qint64 value)
{
    return QString::number(value);
}

QString singular(qint64 count, const QString &singular, const QString &plural)
{
    return count == 1 ? singular : plural;
}

QString orEmpty(const std::optional<QString> &text)
{
    return text.value_or(QString());
}

QString orNil(const std::optional<QString> &text)
{
    return text.value_or(QStringLiteral("nil"));
}
