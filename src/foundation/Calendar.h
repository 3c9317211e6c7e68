#pragma once

#include <QDateTime>
#include <QList>
#include <QTimeZone>

#include <optional>

// The parts of a calendar date that the calendar reads and composes.
enum class CalendarComponent {
    Year,
    Month,
    Day,
    Hour,
    Minute,
    Second,
    Weekday,        // 1 is Sunday, 7 Saturday
    WeekdayOrdinal, // the n-th such weekday of the month
    WeekOfMonth,
    WeekOfYear,
    YearForWeekOfYear,
};

// Some fields of a calendar date; a field that is not set is absent.
struct DateComponents {
    std::optional<int> year;
    std::optional<int> month;
    std::optional<int> day;
    std::optional<int> hour;
    std::optional<int> minute;
    std::optional<int> second;
    std::optional<int> weekday;
    std::optional<int> weekdayOrdinal;
    std::optional<int> weekOfMonth;
    std::optional<int> weekOfYear;
    std::optional<int> yearForWeekOfYear;
    // The zone the fields are read in; the calendar's own when absent.
    std::optional<QTimeZone> timeZone;

    std::optional<int> value(CalendarComponent component) const;
    void setValue(CalendarComponent component, std::optional<int> value);
};

// The Gregorian calendar in one time zone with the week rules of a locale:
// reading and composing dates, calendar arithmetic and differences. It is
// a plain value; every operation works afresh on its settings.
class Calendar {
public:
    // `firstWeekday` 1 is Sunday; the first week of a month or year is the
    // first that holds at least `minimumDaysInFirstWeek` of its days.
    explicit Calendar(QTimeZone timeZone = QTimeZone::systemTimeZone(), int firstWeekday = 1,
                      int minimumDaysInFirstWeek = 1);

    // The user's calendar: the current time zone and the week rules of the
    // user's current locale.
    static Calendar current();

    QTimeZone timeZone() const { return m_timeZone; }
    void setTimeZone(const QTimeZone &zone) { m_timeZone = zone; }
    int firstWeekday() const { return m_firstWeekday; }
    int minimumDaysInFirstWeek() const { return m_minimumDaysInFirstWeek; }

    // Invalid dates have no components.
    std::optional<int> component(CalendarComponent component, const QDateTime &date) const;
    DateComponents components(const QList<CalendarComponent> &wanted, const QDateTime &date) const;
    // The first moment that the set fields describe; fields out of range
    // roll over (day 32 of January is the 1st of February).
    std::optional<QDateTime> date(const DateComponents &components) const;
    // `amount` units later (earlier when negative), keeping the wall-clock time.
    std::optional<QDateTime> dateByAdding(CalendarComponent unit, int amount, const QDateTime &date) const;
    // The whole units from `from` to `to`, taken from the largest unit down:
    // {Month, Day} over 1 month and 15 days gives month 1 and day 15.
    DateComponents dateComponents(const QList<CalendarComponent> &units, const QDateTime &from,
                                  const QDateTime &to) const;

    QDateTime startOfDay(const QDateTime &date) const;
    bool isDateInToday(const QDateTime &date) const;
    bool isDate(const QDateTime &date, const QDateTime &inSameDayAs) const;

    enum class Direction { Forward, Backward };
    // The start of the nearest day on `weekday` strictly after (or before) `date`.
    std::optional<QDateTime> nextDate(const QDateTime &date, int weekday, Direction direction) const;

    // The position of `date`'s unit counted from the start of the era:
    // its year, month, week, day, hour, minute or second of the era.
    std::optional<qint64> ordinalityInEra(CalendarComponent unit, const QDateTime &date) const;

private:
    QTimeZone m_timeZone;
    int m_firstWeekday;
    int m_minimumDaysInFirstWeek;
};
