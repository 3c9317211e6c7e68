#include "foundation/DateFormatter.h"

#include "foundation/IcuBridge.h"

#include <QVarLengthArray>

using namespace icubridge;

namespace {

UDateFormatStyle icuStyle(DateFormatter::Style style)
{
    switch (style) {
    case DateFormatter::Style::None:
        return UDAT_NONE;
    case DateFormatter::Style::Short:
        return UDAT_SHORT;
    case DateFormatter::Style::Medium:
        return UDAT_MEDIUM;
    case DateFormatter::Style::Long:
        return UDAT_LONG;
    case DateFormatter::Style::Full:
        return UDAT_FULL;
    }
    return UDAT_NONE;
}

FormatHandle openFormat(const DateFormatter &formatter)
{
    const bool patterned = !formatter.dateFormat.isEmpty();
    if (!patterned && formatter.dateStyle == DateFormatter::Style::None
        && formatter.timeStyle == DateFormatter::Style::None)
        return nullptr;
    const QByteArray locale = localeId(formatter.locale);
    const QString zone = zoneId(formatter.timeZone);
    UErrorCode status = U_ZERO_ERROR;
    FormatHandle format(udat_open(patterned ? UDAT_PATTERN : icuStyle(formatter.timeStyle),
                                  patterned ? UDAT_PATTERN : icuStyle(formatter.dateStyle), locale.constData(),
                                  uchars(zone), int32_t(zone.size()),
                                  patterned ? uchars(formatter.dateFormat) : nullptr,
                                  patterned ? int32_t(formatter.dateFormat.size()) : 0, &status));
    if (U_FAILURE(status))
        return nullptr;
    return format;
}

} // namespace

QString DateFormatter::string(const QDateTime &date) const
{
    const auto instant = toUDate(date);
    const FormatHandle format = openFormat(*this);
    if (!format || !instant)
        return {};
    QVarLengthArray<UChar, 128> buffer(128);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = udat_format(format.get(), *instant, buffer.data(), int32_t(buffer.size()), nullptr, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        buffer.resize(length + 1);
        status = U_ZERO_ERROR;
        length = udat_format(format.get(), *instant, buffer.data(), int32_t(buffer.size()), nullptr, &status);
    }
    if (U_FAILURE(status))
        return {};
    return fromUChars(buffer.data(), length);
}

std::optional<QDateTime> DateFormatter::date(const QString &text) const
{
    const FormatHandle format = openFormat(*this);
    if (!format || text.isEmpty())
        return std::nullopt;
    udat_setLenient(format.get(), false);
    int32_t position = 0;
    UErrorCode status = U_ZERO_ERROR;
    const UDate parsed = udat_parse(format.get(), uchars(text), int32_t(text.size()), &position, &status);
    if (U_FAILURE(status) || position != text.size())
        return std::nullopt;
    return fromUDate(parsed, timeZone);
}
