#pragma once

#include <QDateTime>
#include <QMetaType>

#include <compare>

// A point in time, kept as seconds since 2001-01-01 00:00:00 UTC in a
// double, so creation dates keep their sub-millisecond part through the
// store and back.
struct Date {
    double secondsSinceReferenceDate = 0;

    // The current time: the system clock's, or that of the clock set.
    // Any thread.
    static Date now();
    // The current time, or the least time after `earlier` when the clock
    // has not passed it: things made one after another get times in order
    // however coarse the clock.
    static Date nowAfter(Date earlier);
    // Where now() reads the time (a test's clock, which may stand still);
    // none restores the system clock.
    using Clock = Date (*)();
    static void setClock(Clock clock);

    static Date fromSecondsSince1970(double seconds);
    static Date fromDateTime(const QDateTime &dateTime);

    double secondsSince1970() const;
    QDateTime toDateTime() const; // UTC, to the millisecond

    Date addingSeconds(double seconds) const { return Date{secondsSinceReferenceDate + seconds}; }

    friend bool operator==(const Date &, const Date &) = default;
    friend auto operator<=>(const Date &a, const Date &b) { return a.secondsSinceReferenceDate <=> b.secondsSinceReferenceDate; }
};

Q_DECLARE_METATYPE(Date)
