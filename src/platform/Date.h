#pragma once

#include <QDateTime>
#include <QMetaType>

#include <compare>

// A point in time, kept as seconds since 2001-01-01 00:00:00 UTC in a
// double, so creation dates keep their sub-millisecond part through the
// store and back.
struct Date {
    double secondsSinceReferenceDate = 0;

    static Date now();
    static Date fromSecondsSince1970(double seconds);
    static Date fromDateTime(const QDateTime &dateTime);

    double secondsSince1970() const;
    QDateTime toDateTime() const; // UTC, to the millisecond

    Date addingSeconds(double seconds) const { return Date{secondsSinceReferenceDate + seconds}; }

    friend bool operator==(const Date &, const Date &) = default;
    friend auto operator<=>(const Date &a, const Date &b) { return a.secondsSinceReferenceDate <=> b.secondsSinceReferenceDate; }
};

Q_DECLARE_METATYPE(Date)
