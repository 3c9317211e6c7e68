#include "foundation/Calendar.h"

#include "foundation/IcuBridge.h"

#include <algorithm>

using namespace icubridge;

namespace {

UCalendarDateFields field(CalendarComponent component)
{
    switch (component) {
    case CalendarComponent::Year:
        return UCAL_YEAR;
    case CalendarComponent::Month:
        return UCAL_MONTH;
    case CalendarComponent::Day:
        return UCAL_DATE;
    case CalendarComponent::Hour:
        return UCAL_HOUR_OF_DAY;
    case CalendarComponent::Minute:
        return UCAL_MINUTE;
    case CalendarComponent::Second:
        return UCAL_SECOND;
    case CalendarComponent::Weekday:
        return UCAL_DAY_OF_WEEK;
    case CalendarComponent::WeekdayOrdinal:
        return UCAL_DAY_OF_WEEK_IN_MONTH;
    case CalendarComponent::WeekOfMonth:
        return UCAL_WEEK_OF_MONTH;
    case CalendarComponent::WeekOfYear:
        return UCAL_WEEK_OF_YEAR;
    case CalendarComponent::YearForWeekOfYear:
        return UCAL_YEAR_WOY;
    }
    return UCAL_YEAR;
}

// ICU counts months from 0.
int toIcu(CalendarComponent component, int value)
{
    return component == CalendarComponent::Month ? value - 1 : value;
}

int fromIcu(CalendarComponent component, int value)
{
    return component == CalendarComponent::Month ? value + 1 : value;
}

// The field that moves by whole units of `unit` in additions and differences.
std::optional<UCalendarDateFields> arithmeticField(CalendarComponent unit)
{
    switch (unit) {
    case CalendarComponent::Year:
    case CalendarComponent::Month:
    case CalendarComponent::Day:
    case CalendarComponent::Hour:
    case CalendarComponent::Minute:
    case CalendarComponent::Second:
        return field(unit);
    case CalendarComponent::WeekOfMonth:
    case CalendarComponent::WeekOfYear:
        return UCAL_WEEK_OF_YEAR;
    default:
        return std::nullopt;
    }
}

const QList<CalendarComponent> largestFirst{CalendarComponent::Year,        CalendarComponent::Month,
                                            CalendarComponent::WeekOfYear,  CalendarComponent::WeekOfMonth,
                                            CalendarComponent::Day,         CalendarComponent::Hour,
                                            CalendarComponent::Minute,      CalendarComponent::Second};

// The Julian day of 1 January of the year 1 in the Julian calendar, where
// the Gregorian calendar's era begins.
constexpr qint64 eraStartJulianDay = 1721424;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

std::optional<int> DateComponents::value(CalendarComponent component) const
{
    switch (component) {
    case CalendarComponent::Year:
        return year;
    case CalendarComponent::Month:
        return month;
    case CalendarComponent::Day:
        return day;
    case CalendarComponent::Hour:
        return hour;
    case CalendarComponent::Minute:
        return minute;
    case CalendarComponent::Second:
        return second;
    case CalendarComponent::Weekday:
        return weekday;
    case CalendarComponent::WeekdayOrdinal:
        return weekdayOrdinal;
    case CalendarComponent::WeekOfMonth:
        return weekOfMonth;
    case CalendarComponent::WeekOfYear:
        return weekOfYear;
    case CalendarComponent::YearForWeekOfYear:
        return yearForWeekOfYear;
    }
    return std::nullopt;
}

void DateComponents::setValue(CalendarComponent component, std::optional<int> value)
{
    switch (component) {
    case CalendarComponent::Year:
        year = value;
        break;
    case CalendarComponent::Month:
        month = value;
        break;
    case CalendarComponent::Day:
        day = value;
        break;
    case CalendarComponent::Hour:
        hour = value;
        break;
    case CalendarComponent::Minute:
        minute = value;
        break;
    case CalendarComponent::Second:
        second = value;
        break;
    case CalendarComponent::Weekday:
        weekday = value;
        break;
    case CalendarComponent::WeekdayOrdinal:
        weekdayOrdinal = value;
        break;
    case CalendarComponent::WeekOfMonth:
        weekOfMonth = value;
        break;
    case CalendarComponent::WeekOfYear:
        weekOfYear = value;
        break;
    case CalendarComponent::YearForWeekOfYear:
        yearForWeekOfYear = value;
        break;
    }
}

Calendar::Calendar(QTimeZone timeZone, int firstWeekday, int minimumDaysInFirstWeek)
    : m_timeZone(std::move(timeZone)), m_firstWeekday(std::clamp(firstWeekday, 1, 7)),
      m_minimumDaysInFirstWeek(std::clamp(minimumDaysInFirstWeek, 1, 7))
{
}

Calendar Calendar::current()
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const CalendarHandle calendar = openCalendar(zone, localeId());
    if (!calendar)
        return Calendar(zone);
    return Calendar(zone, ucal_getAttribute(calendar.get(), UCAL_FIRST_DAY_OF_WEEK),
                    ucal_getAttribute(calendar.get(), UCAL_MINIMAL_DAYS_IN_FIRST_WEEK));
}

namespace {

// An ICU calendar with `calendar`'s settings, set to `date` when given.
CalendarHandle open(const Calendar &calendar, std::optional<UDate> date = std::nullopt,
                    const std::optional<QTimeZone> &zone = std::nullopt)
{
    CalendarHandle handle = openCalendar(zone.value_or(calendar.timeZone()), QByteArrayLiteral("en_US_POSIX"));
    if (!handle)
        return nullptr;
    ucal_setAttribute(handle.get(), UCAL_FIRST_DAY_OF_WEEK, calendar.firstWeekday());
    ucal_setAttribute(handle.get(), UCAL_MINIMAL_DAYS_IN_FIRST_WEEK, calendar.minimumDaysInFirstWeek());
    if (date) {
        UErrorCode status = U_ZERO_ERROR;
        ucal_setMillis(handle.get(), *date, &status);
        if (U_FAILURE(status))
            return nullptr;
    }
    return handle;
}

std::optional<UDate> millis(UCalendar *calendar)
{
    UErrorCode status = U_ZERO_ERROR;
    const UDate result = ucal_getMillis(calendar, &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return result;
}

std::optional<int> get(UCalendar *calendar, UCalendarDateFields field)
{
    UErrorCode status = U_ZERO_ERROR;
    const int value = ucal_get(calendar, field, &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<int> Calendar::component(CalendarComponent component, const QDateTime &date) const
{
    const CalendarHandle calendar = open(*this, toUDate(date));
    if (!calendar || !date.isValid())
        return std::nullopt;
    const auto value = get(calendar.get(), field(component));
    if (!value)
        return std::nullopt;
    return fromIcu(component, *value);
}

DateComponents Calendar::components(const QList<CalendarComponent> &wanted, const QDateTime &date) const
{
    DateComponents result;
    const CalendarHandle calendar = open(*this, toUDate(date));
    if (!calendar || !date.isValid())
        return result;
    for (const CalendarComponent component : wanted) {
        if (const auto value = get(calendar.get(), field(component)))
            result.setValue(component, fromIcu(component, *value));
    }
    return result;
}

std::optional<QDateTime> Calendar::date(const DateComponents &components) const
{
    const QTimeZone zone = components.timeZone.value_or(m_timeZone);
    const CalendarHandle calendar = open(*this, std::nullopt, zone);
    if (!calendar)
        return std::nullopt;
    ucal_clear(calendar.get());
    for (const CalendarComponent component : largestFirst + QList<CalendarComponent>{
                                                 CalendarComponent::YearForWeekOfYear, CalendarComponent::Weekday,
                                                 CalendarComponent::WeekdayOrdinal}) {
        if (const auto value = components.value(component))
            ucal_set(calendar.get(), field(component), toIcu(component, *value));
    }
    const auto result = millis(calendar.get());
    if (!result)
        return std::nullopt;
    return fromUDate(*result, zone);
}

std::optional<QDateTime> Calendar::dateByAdding(CalendarComponent unit, int amount, const QDateTime &date) const
{
    const auto icuField = arithmeticField(unit);
    const CalendarHandle calendar = open(*this, toUDate(date));
    if (!calendar || !icuField || !date.isValid())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    ucal_add(calendar.get(), *icuField, amount, &status);
    const auto result = millis(calendar.get());
    if (U_FAILURE(status) || !result)
        return std::nullopt;
    return fromUDate(*result, m_timeZone);
}

DateComponents Calendar::dateComponents(const QList<CalendarComponent> &units, const QDateTime &from,
                                        const QDateTime &to) const
{
    DateComponents result;
    const auto target = toUDate(to);
    const CalendarHandle calendar = open(*this, toUDate(from));
    if (!calendar || !from.isValid() || !target)
        return result;
    for (const CalendarComponent unit : largestFirst) {
        if (!units.contains(unit))
            continue;
        UErrorCode status = U_ZERO_ERROR;
        const int difference = ucal_getFieldDifference(calendar.get(), *target, *arithmeticField(unit), &status);
        if (U_SUCCESS(status))
            result.setValue(unit, difference);
    }
    return result;
}

QDateTime Calendar::startOfDay(const QDateTime &date) const
{
    const CalendarHandle calendar = open(*this, toUDate(date));
    if (!calendar || !date.isValid())
        return {};
    for (const UCalendarDateFields field : {UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND, UCAL_MILLISECOND})
        ucal_set(calendar.get(), field, 0);
    const auto result = millis(calendar.get());
    return result ? fromUDate(*result, m_timeZone) : QDateTime();
}

bool Calendar::isDate(const QDateTime &date, const QDateTime &inSameDayAs) const
{
    if (!date.isValid() || !inSameDayAs.isValid())
        return false;
    const QList<CalendarComponent> day{CalendarComponent::Year, CalendarComponent::Month, CalendarComponent::Day};
    const DateComponents a = components(day, date);
    const DateComponents b = components(day, inSameDayAs);
    const auto era = [this](const QDateTime &d) {
        const CalendarHandle calendar = open(*this, toUDate(d));
        return calendar ? get(calendar.get(), UCAL_ERA) : std::nullopt;
    };
    return a.year == b.year && a.month == b.month && a.day == b.day && era(date) == era(inSameDayAs);
}

bool Calendar::isDateInToday(const QDateTime &date) const
{
    return isDate(date, QDateTime::currentDateTime());
}

std::optional<QDateTime> Calendar::nextDate(const QDateTime &date, int weekday, Direction direction) const
{
    const QDateTime start = startOfDay(date);
    if (!start.isValid() || weekday < 1 || weekday > 7)
        return std::nullopt;
    const int step = direction == Direction::Forward ? 1 : -1;
    for (int days = 0; days <= 8; ++days) {
        const auto moved = dateByAdding(CalendarComponent::Day, step * days, start);
        if (!moved)
            return std::nullopt;
        const QDateTime candidate = startOfDay(*moved);
        const bool beyond = direction == Direction::Forward ? candidate > date : candidate < date;
        if (beyond && component(CalendarComponent::Weekday, candidate) == weekday)
            return candidate;
    }
    return std::nullopt;
}

std::optional<qint64> Calendar::ordinalityInEra(CalendarComponent unit, const QDateTime &date) const
{
    const CalendarHandle calendar = open(*this, toUDate(date));
    if (!calendar || !date.isValid())
        return std::nullopt;
    UCalendar *c = calendar.get();
    const auto year = get(c, UCAL_YEAR);
    const auto month = get(c, UCAL_MONTH);
    const auto julianDay = get(c, UCAL_JULIAN_DAY);
    const auto hour = get(c, UCAL_HOUR_OF_DAY);
    const auto minute = get(c, UCAL_MINUTE);
    const auto second = get(c, UCAL_SECOND);
    if (!year || !month || !julianDay || !hour || !minute || !second)
        return std::nullopt;
    const qint64 day = qint64(*julianDay) - eraStartJulianDay + 1;
    switch (unit) {
    case CalendarComponent::Year:
        return *year;
    case CalendarComponent::Month:
        return qint64(*year - 1) * 12 + *month + 1;
    case CalendarComponent::Day:
        return day;
    case CalendarComponent::WeekOfYear:
    case CalendarComponent::WeekOfMonth: {
        // The era's first day is a Saturday (weekday 7); weeks begin on the first weekday.
        const qint64 intoFirstWeek = (7 - m_firstWeekday + 7) % 7;
        return floorDiv(day - 1 + intoFirstWeek, 7) + 1;
    }
    case CalendarComponent::Hour:
        return (day - 1) * 24 + *hour + 1;
    case CalendarComponent::Minute:
        return ((day - 1) * 24 + *hour) * 60 + *minute + 1;
    case CalendarComponent::Second:
        return (((day - 1) * 24 + *hour) * 60 + *minute) * 60 + *second + 1;
    default:
        return std::nullopt;
    }
}
