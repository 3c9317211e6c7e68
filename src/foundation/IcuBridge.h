#pragma once

// Bridges between Qt's types and the C interface of ICU, on which the
// calendar and the date formatters are built.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <unicode/ucal.h>
#include <unicode/udat.h>

#include <memory>
#include <optional>

namespace icubridge {

inline const UChar *uchars(const QString &text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

inline QString fromUChars(const UChar *text, int32_t length)
{
    return QString(reinterpret_cast<const QChar *>(text), length);
}

// The ICU locale of `identifier`, or of the user's current locale (Qt's
// default locale) when none is given. The C locale is ICU's "en_US_POSIX".
QByteArray localeId(const std::optional<QString> &identifier = std::nullopt);

// The ICU identifier of `zone`: its IANA name, or "GMT+hh:mm" for a fixed
// offset. An invalid zone stands for the user's current time zone.
QString zoneId(const QTimeZone &zone);
QTimeZone zoneOrCurrent(const QTimeZone &zone);

// Milliseconds since 1970 for a valid date; none for an invalid one.
std::optional<UDate> toUDate(const QDateTime &date);
QDateTime fromUDate(UDate date, const QTimeZone &zone);

struct CalendarCloser {
    void operator()(UCalendar *calendar) const { ucal_close(calendar); }
};
struct FormatCloser {
    void operator()(UDateFormat *format) const { udat_close(format); }
};
using CalendarHandle = std::unique_ptr<UCalendar, CalendarCloser>;
using FormatHandle = std::unique_ptr<UDateFormat, FormatCloser>;

// A Gregorian calendar in `zone` for `locale`, lenient, or null when ICU
// cannot make one.
CalendarHandle openCalendar(const QTimeZone &zone, const QByteArray &locale);

} // namespace icubridge
