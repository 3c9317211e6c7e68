#pragma once

#include "foundation/Calendar.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <optional>

// Date helpers over QDateTime. Operations that take an optional calendar
// use it when given and the user's calendar (Calendar::current()) when not;
// the others use the user's calendar. Fixed-format texts are written in the
// "en_US_POSIX" locale, styled ones in the user's locale. An invalid date
// gives the fallback that each function names.

// The earliest date the helpers hand out: 1 January of the year 1, UTC.
QDateTime distantPast();

// Texts of `date` in `timeZone`.
QString shortDateString(const QDateTime &date, const QTimeZone &timeZone);
QString shortTimeString(const QDateTime &date, const QTimeZone &timeZone);
QString shortDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone);
QString mediumDateString(const QDateTime &date, const QTimeZone &timeZone);
QString longDateString(const QDateTime &date, const QTimeZone &timeZone);
QString shortTime24HourString(const QDateTime &date, const QTimeZone &timeZone);          // "0930"
QString weekdayString(const QDateTime &date, const QTimeZone &timeZone);                  // "Fri"
QString weekdayAndTimeString(const QDateTime &date, const QTimeZone &timeZone);           // "Fri 14:05"
QString dayOfMonthString(const QDateTime &date, const QTimeZone &timeZone);               // "7"
QString yearMonthDateString(const QDateTime &date, const QTimeZone &timeZone);            // "2025-03-07"
QString yearMonthDateVersionString(const QDateTime &date, const QTimeZone &timeZone);     // "2025.3.7"
QString yearString(const QDateTime &date, const QTimeZone &timeZone);                     // "2025"
QString mediumDayAndDateString(const QDateTime &date, const QTimeZone &timeZone);         // "Fri 7 Mar 2025"
QString mediumDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone);        // "Fri 07 Mar 2025, 14:05"
QString longDateAndTimeString(const QDateTime &date, const QTimeZone &timeZone);          // "2025-03-07 14:05 +1300"
QString longDateAndTimeStringWithNoTimeZone(const QDateTime &date, const QTimeZone &timeZone);
// In the user's current time zone: "20250307140509", and the short date with the long time.
QString backupDateTimeString(const QDateTime &date);
QString localDescription(const QDateTime &date);

// Parsing; a text that does not parse gives distantPast().
QDateTime dateWithDateString(const QString &date, const QTimeZone &timeZone);                    // "yyyy-MM-dd"
QDateTime dateWithDateString(const QString &date, const QString &time, const QTimeZone &timeZone); // + "HH:mm:ss"
// `date`'s day at the hour and minute of a text such as "0930" (see
// hourAndMinute()), in `timeZone` or the user's.
QDateTime dateWithHoursAndMinutesString(const QDateTime &date, const QString &text,
                                        const std::optional<QTimeZone> &timeZone = std::nullopt);

// Starts of periods and shifted days, in the user's calendar.
QDateTime startOfDay(const QDateTime &date);
QDateTime startOfToday();
std::optional<QDateTime> atMidnight(const QDateTime &date);
QDateTime startOfNextDay(const QDateTime &date);
QDateTime oneWeekBefore(const QDateTime &date);
QDateTime startOfWeek(const QDateTime &date);
QDateTime startOfMonth(const QDateTime &date);
QDateTime startOfYear(const QDateTime &date);
QDateTime roundedDownToMinute(const QDateTime &date);
// The start of the same day one month (year) earlier: the date's year,
// month and day with the month (year) taken back by one, read by the
// calendar as they stand. Nothing is clamped: a day the earlier month lacks
// runs on into the month after it (31 March 2025 gives 3 March, 29 February
// 2024 a year back gives 1 March 2023). The date itself when it has no such
// parts or they make no date.
QDateTime monthToDate(const QDateTime &date);
QDateTime yearToDate(const QDateTime &date);
std::optional<QDateTime> thisWeeksMonday(const QDateTime &date);
std::optional<QDateTime> nextWeeksMonday(const QDateTime &date);
// The application's build date, or distantPast() when it has none.
QDateTime buildDate();

// Arithmetic; the date itself when the calendar cannot move it.
QDateTime addingDays(const QDateTime &date, int days, const std::optional<Calendar> &calendar = std::nullopt);
QDateTime addingWeeks(const QDateTime &date, int weeks, const std::optional<Calendar> &calendar = std::nullopt);
// Whole calendar days from `date`'s day to `other`'s; negative when earlier.
std::optional<int> daysUntil(const QDateTime &date, const QDateTime &other,
                             const std::optional<Calendar> &calendar = std::nullopt);
int numberOfWeeks(const QDateTime &date, const QDateTime &to, const std::optional<Calendar> &calendar = std::nullopt);
// Months from `since` to `date`, the days past the last whole month counting 1/30.4375 each.
double monthsSince(const QDateTime &date, const QDateTime &since);
// `date`'s unit counted from the era's start, minus `fromDate`'s: 0 when either has none.
int interval(const QDateTime &date, CalendarComponent unit, const QDateTime &fromDate,
             const std::optional<Calendar> &calendar = std::nullopt);
// The span from `date` to `other` in at most two of years, months, weeks and days ("1y 2m").
std::optional<QString> humanReadableInterval(const QDateTime &date, const QDateTime &other);

// Predicates and readers.
// Within `tolerance` seconds either side, both ends included; never for a negative tolerance.
bool isCloseTo(const QDateTime &date, const QDateTime &other, double tolerance);
bool isToday(const QDateTime &date);
bool isSameDay(const QDateTime &date, const QDateTime &other);
// Same month number, whatever the year.
bool isSameMonth(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar = std::nullopt);
bool isSameMonthIgnoreYear(const QDateTime &date, const QDateTime &other,
                           const std::optional<Calendar> &calendar = std::nullopt);
bool isSameMonthAndYear(const QDateTime &date, const QDateTime &other,
                        const std::optional<Calendar> &calendar = std::nullopt);
bool isSameYear(const QDateTime &date, const QDateTime &other, const std::optional<Calendar> &calendar = std::nullopt);
bool isWeekOfMonth(const QDateTime &date, int week, const std::optional<Calendar> &calendar = std::nullopt);
// Whether `date` is the first, second, third or fourth of its weekday in its month.
bool isOccurrenceInMonth(const QDateTime &date, int occurrence, const std::optional<Calendar> &calendar = std::nullopt);
bool isLastWeekOfMonth(const QDateTime &date);
int weekday(const QDateTime &date); // 1 is Sunday; 0 for an invalid date
std::optional<int> hour(const QDateTime &date);
// `other` when it is strictly earlier (later) than `date`, else `date`.
QDateTime earlierDate(const QDateTime &date, const std::optional<QDateTime> &other);
QDateTime laterDate(const QDateTime &date, const std::optional<QDateTime> &other);

// Western Easter of `year`, at the start of the day in the user's time zone.
std::optional<QDateTime> easterSunday(int year);
std::optional<QDateTime> goodFriday(int year);
std::optional<QDateTime> easterMonday(int year);

// The first eight hexadecimal digits of `uuid`, in upper case.
QString abbreviatedString(const QUuid &uuid);
