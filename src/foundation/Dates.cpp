#include "foundation/Dates.h"

#include "foundation/Bundle.h"
#include "foundation/DateComponentsFormatter.h"
#include "foundation/DateFormatter.h"
#include "foundation/Strings.h"

#include <cmath>
#include <limits>

namespace {

using Style = DateFormatter::Style;
using C = CalendarComponent;

const QString posix = QStringLiteral("en_US_POSIX");

QString styled(const QDateTime &date, const QTimeZone &zone, Style dateStyle, Style timeStyle)
{
    DateFormatter formatter;
    formatter.dateStyle = dateStyle;
    formatter.timeStyle = timeStyle;
    formatter.timeZone = zone;
    return formatter.string(date);
}

QString patterned(const QDateTime &date, const QTimeZone &zone, const QString &pattern,
                  const std::optional<QString> &locale = posix)
{
    DateFormatter formatter;
    formatter.locale = locale;
    formatter.dateFormat = pattern;
    formatter.timeZone = zone;
    return formatter.string(date);
}

QDateTime parsed(const QString &text, const QString &pattern, const QTimeZone &zone)
{
    DateFormatter formatter;
    formatter.dateFormat = pattern;
    formatter.timeZone = zone;
    return formatter.date(text).value_or(distantPast());
}

Calendar chosen(const std::optional<Calendar> &calendar)
{
    return calendar ? *calendar : Calendar::current();
}

// The date of the named fields of `date`, or `date` itself when there is none.
QDateTime fromFields(const QDateTime &date, const QList<C> &fields)
{
    const Calendar calendar = Calendar::current();
    return calendar.date(calendar.components(fields, date)).value_or(date);
}

// The start of the same day `years` and `months` earlier. A day the target
// month lacks is the calendar's to resolve (31 March a month earlier is
// 3 March in a common year).
QDateTime shifted(const QDateTime &date, int years, int months)
{
    const Calendar calendar = Calendar::current();
    DateComponents fields = calendar.components({C::Year, C::Month, C::Day}, date);
    if (!fields.year || !fields.month || !fields.day)
        return date;
    int year = *fields.year - years;
    int month = *fields.month - months;
    if (month < 1) {
        month += 12;
        year -= 1;
    }
    fields.year = year;
    fields.month = month;
    return calendar.date(fields).value_or(date);
}

std::optional<QDateTime> monday(const QDateTime &date, Calendar::Direction direction)
{
    return Calendar::current().nextDate(date, 2, direction);
}

bool sameFields(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar,
                const QList<C> &fields)
{
    const Calendar c = chosen(calendar);
    const DateComponents a = c.components(fields, date);
    const DateComponents b = c.components(fields, other);
    for (const C field : fields) {
        if (a.value(field) != b.value(field))
            return false;
    }
    return true;
}

QDateTime chooseDate(const QDateTime &date, const std::optional<QDateTime> &other, bool earlier)
{
    if (!other)
        return date;
    return (earlier ? *other < date : *other > date) ? *other : date;
}

} // namespace

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}

QString shortDateString(const QDateTime &date, const QTimeZone &timeZone)
{
    return styled(date, timeZone, Style::Short, Style::None);
}

QString shortTimeString(const QDateTime &date, const QTimeZone &timeZone)
{
    return styled(date, timeZone, Style::None, Style::Short);
}

QString shortDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone)
{
    return styled(date, timeZone, Style::Short, Style::Short);
}

QString mediumDateString(const QDateTime &date, const QTimeZone &timeZone)
{
    return styled(date, timeZone, Style::Medium, Style::None);
}

QString longDateString(const QDateTime &date, const QTimeZone &timeZone)
{
    return styled(date, timeZone, Style::Long, Style::None);
}

QString shortTime24HourString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("HHmm"), std::nullopt);
}

QString weekdayString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("E"));
}

QString weekdayAndTimeString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("E HH:mm"));
}

QString dayOfMonthString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("d"));
}

QString yearMonthDateString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("yyyy-MM-dd"));
}

QString yearMonthDateVersionString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("yyyy.M.d"));
}

QString yearString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("yyyy"));
}

QString mediumDayAndDateString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("E d MMM yyyy"));
}

QString mediumDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("EEE dd MMM yyyy, HH:mm"));
}

QString longDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("yyyy-MM-dd HH:mm Z"));
}

QString longDateAndTimeStringWithNoTimeZone(const QDateTime &date, const QTimeZone &timeZone)
{
    return patterned(date, timeZone, QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString backupDateTimeString(const QDateTime &date)
{
    return patterned(date, QTimeZone::systemTimeZone(), QStringLiteral("yyyyMMddHHmmss"));
}

QString localDescription(const QDateTime &date)
{
    return styled(date, QTimeZone::systemTimeZone(), Style::Short, Style::Long);
}

QDateTime dateWithDateString(const QString &date, const QTimeZone &timeZone)
{
    return parsed(date, QStringLiteral("yyyy-MM-dd"), timeZone);
}

QDateTime dateWithDateString(const QString &date, const QString &time, const QTimeZone &timeZone)
{
    return parsed(date + QLatin1Char(' ') + time, QStringLiteral("yyyy-MM-dd HH:mm:ss"), timeZone);
}

QDateTime dateWithHoursAndMinutesString(const QDateTime &date, const QString &text,
                                        const std::optional<QTimeZone> &timeZone)
{
    Calendar calendar = Calendar::current();
    if (timeZone)
        calendar.setTimeZone(*timeZone);
    DateComponents fields = calendar.components({C::Year, C::Month, C::Day, C::Hour, C::Minute}, date);
    const HourAndMinute time = hourAndMinute(text);
    fields.hour = time.hour;
    fields.minute = time.minute;
    if (!fields.year || !fields.month || !fields.day)
        return distantPast();
    return calendar.date(fields).value_or(distantPast());
}

QDateTime startOfDay(const QDateTime &date)
{
    return Calendar::current().startOfDay(date);
}

QDateTime startOfToday()
{
    return startOfDay(QDateTime::currentDateTime());
}

std::optional<QDateTime> atMidnight(const QDateTime &date)
{
    const Calendar calendar = Calendar::current();
    const DateComponents fields = calendar.components({C::Day, C::Month, C::Year}, date);
    if (!fields.year)
        return std::nullopt;
    return calendar.date(fields);
}

QDateTime startOfNextDay(const QDateTime &date)
{
    return startOfDay(addingDays(date, 1));
}

QDateTime oneWeekBefore(const QDateTime &date)
{
    return startOfDay(addingDays(date, -7));
}

QDateTime startOfWeek(const QDateTime &date)
{
    return fromFields(date, {C::YearForWeekOfYear, C::WeekOfYear});
}

QDateTime startOfMonth(const QDateTime &date)
{
    return fromFields(date, {C::Year, C::Month});
}

QDateTime startOfYear(const QDateTime &date)
{
    return fromFields(date, {C::Year});
}

QDateTime roundedDownToMinute(const QDateTime &date)
{
    return fromFields(date, {C::Year, C::Month, C::Day, C::Hour, C::Minute});
}

QDateTime monthToDate(const QDateTime &date)
{
    return shifted(date, 0, 1);
}

QDateTime yearToDate(const QDateTime &date)
{
    return shifted(date, 1, 0);
}

std::optional<QDateTime> thisWeeksMonday(const QDateTime &date)
{
    if (weekday(date) == 2)
        return startOfDay(date);
    return monday(date, Calendar::Direction::Backward);
}

std::optional<QDateTime> nextWeeksMonday(const QDateTime &date)
{
    return monday(date, Calendar::Direction::Forward);
}

QDateTime buildDate()
{
    const auto date = Bundle::main().buildDate();
    return date ? date->toDateTime() : distantPast();
}

QDateTime addingDays(const QDateTime &date, int days, const std::optional<Calendar> &calendar)
{
    return chosen(calendar).dateByAdding(C::Day, days, date).value_or(date);
}

QDateTime addingWeeks(const QDateTime &date, int weeks, const std::optional<Calendar> &calendar)
{
    return chosen(calendar).dateByAdding(C::WeekOfYear, weeks, date).value_or(date);
}

std::optional<int> daysUntil(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar)
{
    const Calendar c = chosen(calendar);
    return c.dateComponents({C::Day}, c.startOfDay(date), c.startOfDay(other)).day;
}

int numberOfWeeks(const QDateTime &date, const QDateTime &to, const std::optional<Calendar> &calendar)
{
    return chosen(calendar).dateComponents({C::WeekOfYear}, date, to).weekOfYear.value_or(0);
}

double monthsSince(const QDateTime &date, const QDateTime &since)
{
    const DateComponents span = Calendar::current().dateComponents({C::Month, C::Day}, since, date);
    return span.month.value_or(0) + span.day.value_or(0) / 30.4375;
}

int interval(const QDateTime &date, CalendarComponent unit, const QDateTime &fromDate,
             const std::optional<Calendar> &calendar)
{
    const Calendar c = chosen(calendar);
    const auto end = c.ordinalityInEra(unit, date);
    const auto start = c.ordinalityInEra(unit, fromDate);
    if (!end || !start)
        return 0;
    return int(std::clamp<qint64>(*end - *start, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::optional<QString> humanReadableInterval(const QDateTime &date, const QDateTime &other)
{
    DateComponentsFormatter formatter;
    formatter.allowedUnits = {C::Year, C::Month, C::WeekOfMonth, C::Day};
    formatter.maximumUnitCount = 2;
    formatter.unitsStyle = DateComponentsFormatter::UnitsStyle::Abbreviated;
    return formatter.string(date, other);
}

bool isCloseTo(const QDateTime &date, const QDateTime &other, double tolerance)
{
    if (!date.isValid() || !other.isValid() || !(tolerance >= 0))
        return false;
    const double seconds = double(date.toMSecsSinceEpoch() - other.toMSecsSinceEpoch()) / 1000.0;
    return std::fabs(seconds) <= tolerance;
}

bool isToday(const QDateTime &date)
{
    return Calendar::current().isDateInToday(date);
}

bool isSameDay(const QDateTime &date, const QDateTime &other)
{
    return Calendar::current().isDate(date, other);
}

bool isSameMonth(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar)
{
    return sameFields(date, other, calendar, {C::Month});
}

bool isSameMonthIgnoreYear(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar)
{
    return isSameMonth(date, other, calendar);
}

bool isSameMonthAndYear(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar)
{
    return sameFields(date, other, calendar, {C::Month, C::Year});
}

bool isSameYear(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar)
{
    return sameFields(date, other, calendar, {C::Year});
}

bool isWeekOfMonth(const QDateTime &date, int week, const std::optional<Calendar> &calendar)
{
    return chosen(calendar).component(C::WeekOfMonth, date) == week;
}

bool isOccurrenceInMonth(const QDateTime &date, int occurrence, const std::optional<Calendar> &calendar)
{
    if (occurrence < 1 || occurrence > 4)
        return false;
    return chosen(calendar).component(C::WeekdayOrdinal, date) == occurrence;
}

bool isLastWeekOfMonth(const QDateTime &date)
{
    const Calendar calendar = Calendar::current();
    const auto week = calendar.component(C::WeekOfMonth, date);
    const auto weekLater = calendar.component(C::WeekOfMonth, addingDays(date, 7));
    return week && weekLater && *weekLater < *week;
}

int weekday(const QDateTime &date)
{
    return Calendar::current().component(C::Weekday, date).value_or(0);
}

std::optional<int> hour(const QDateTime &date)
{
    return Calendar::current().component(C::Hour, date);
}

QDateTime earlierDate(const QDateTime &date, const std::optional<QDateTime> &other)
{
    return chooseDate(date, other, true);
}

QDateTime laterDate(const QDateTime &date, const std::optional<QDateTime> &other)
{
    return chooseDate(date, other, false);
}

std::optional<QDateTime> easterSunday(int year)
{
    // The anonymous Gregorian algorithm.
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = year / 400;
    const int e = b % 4;
    const int g = (8 * b + 13) / 25;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 19 * l) / 433;
    const int month = (h + l - 7 * m + 90) / 25;
    const int day = (h + l - 7 * m + 33 * month + 19) % 32;
    DateComponents fields;
    fields.year = year;
    fields.month = month;
    fields.day = day;
    fields.timeZone = QTimeZone::systemTimeZone();
    return Calendar(QTimeZone::systemTimeZone()).date(fields);
}

std::optional<QDateTime> goodFriday(int year)
{
    const auto easter = easterSunday(year);
    return easter ? std::optional(addingDays(*easter, -2)) : std::nullopt;
}

std::optional<QDateTime> easterMonday(int year)
{
    const auto easter = easterSunday(year);
    return easter ? std::optional(addingDays(*easter, 1)) : std::nullopt;
}

QString abbreviatedString(const QUuid &uuid)
{
    const QString text = uuid.toString(QUuid::WithoutBraces).toUpper();
    return text.split(QLatin1Char('-')).value(0, text);
}
