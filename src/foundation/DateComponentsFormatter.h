#pragma once

#include "foundation/Calendar.h"

#include <QList>
#include <QString>

#include <optional>

// Writes a span of time as text: positional ("1:02:05") or as counted
// units in the user's locale ("1h 2m", "1 hr, 2 min", "1 hour, 2 minutes").
class DateComponentsFormatter {
public:
    enum class UnitsStyle { Positional, Abbreviated, Short, Full };
    // Default drops zero units (positional: only leading ones, keeping two
    // places); Pad keeps every unit and writes each place with two digits.
    enum class ZeroFormattingBehavior { Default, Pad };

    virtual ~DateComponentsFormatter() = default;

    UnitsStyle unitsStyle = UnitsStyle::Positional;
    // Which of Year, Month, WeekOfMonth, Day, Hour, Minute and Second the
    // text may use; the largest allowed unit takes what is above it.
    QList<CalendarComponent> allowedUnits{CalendarComponent::Year, CalendarComponent::Month, CalendarComponent::Day,
                                          CalendarComponent::Hour, CalendarComponent::Minute,
                                          CalendarComponent::Second};
    // The most units written, largest first; 0 is no limit.
    int maximumUnitCount = 0;
    ZeroFormattingBehavior zeroFormattingBehavior = ZeroFormattingBehavior::Default;

    // A span of `seconds` (negative spans get a leading "-"); none when it
    // is not a finite span the calendar can hold.
    std::optional<QString> string(double seconds) const;
    // The calendar span from `start` to `end`, in the user's calendar.
    virtual std::optional<QString> string(const QDateTime &start, const QDateTime &end) const;

protected:
    std::optional<QString> string(const DateComponents &components) const;
};
