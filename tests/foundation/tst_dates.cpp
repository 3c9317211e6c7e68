#include "foundation/DateComponentsFormatter.h"
#include "foundation/Dates.h"
#include "foundation/DurationFormatters.h"

#include <QLocale>
#include <QTest>

#include <ctime>
#include <functional>

namespace {

QDateTime local(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), QTimeZone::systemTimeZone());
}

QDateTime utc(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), QTimeZone::utc());
}

const QTimeZone auckland(QByteArrayLiteral("Pacific/Auckland"));
const QTimeZone honolulu(QByteArrayLiteral("Pacific/Honolulu"));

using Text = std::function<QString(const QDateTime &, const QTimeZone &)>;
using Shift = std::function<std::optional<QDateTime>(const QDateTime &)>;

} // namespace

// Runs in New York with American week rules (weeks start on Sunday).
class DatesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "America/New_York");
        tzset();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QCOMPARE(QTimeZone::systemTimeZoneId(), QByteArray("America/New_York"));
    }

    void texts_data()
    {
        QTest::addColumn<Text>("text");
        QTest::addColumn<QString>("expected");
        // Friday 7 March 2025, 14:05:09 in Auckland.
        const auto fixed = [](QString (*f)(const QDateTime &, const QTimeZone &)) { return Text(f); };
        QTest::newRow("short date in the user's locale") << fixed(shortDateString) << "3/7/25";
        QTest::newRow("the zone decides the day")
            << Text([](const QDateTime &d, const QTimeZone &) { return shortDateString(d, honolulu); }) << "3/6/25";
        QTest::newRow("no date") << Text([](const QDateTime &, const QTimeZone &z) { return shortDateString({}, z); }) << "";
        QTest::newRow("short date and time") << fixed(shortDateAndTimeString) << QStringLiteral("3/7/25, 2:05\u202FPM");
        QTest::newRow("24-hour time") << fixed(shortTime24HourString) << "1405";
        QTest::newRow("weekday") << fixed(weekdayString) << "Fri";
        QTest::newRow("weekday and time") << fixed(weekdayAndTimeString) << "Fri 14:05";
        QTest::newRow("day of month") << fixed(dayOfMonthString) << "7";
        QTest::newRow("version") << fixed(yearMonthDateVersionString) << "2025.3.7";
        QTest::newRow("medium day and date") << fixed(mediumDayAndDateString) << "Fri 7 Mar 2025";
        QTest::newRow("medium date and time") << fixed(mediumDateAndTimeString) << "Fri 07 Mar 2025, 14:05";
        QTest::newRow("long with zone") << fixed(longDateAndTimeString) << "2025-03-07 14:05 +1300";
        QTest::newRow("backup stamp, user's zone")
            << Text([](const QDateTime &d, const QTimeZone &) { return backupDateTimeString(d); }) << "20250306200509";
        QTest::newRow("a UUID in short") << Text([](const QDateTime &, const QTimeZone &) {
            return abbreviatedString(QUuid(QStringLiteral("{1a2b3c4d-5e6f-4a1b-8c2d-3e4f5a6b7c8d}")));
        }) << "1A2B3C4D";
        QTest::newRow("German short date")
            << Text([](const QDateTime &d, const QTimeZone &z) {
                   QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
                   const QString text = shortDateString(d, z);
                   QLocale::setDefault(QLocale(QStringLiteral("en_US")));
                   return text;
               })
            << "07.03.25";
    }

    void texts()
    {
        QFETCH(Text, text);
        QFETCH(QString, expected);
        QCOMPARE(text(utc(2025, 3, 7, 1, 5, 9), auckland), expected);
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("date") << "2025-03-07" << QString() << utc(2025, 3, 6, 11);
        QTest::newRow("date and time") << "2025-03-07" << "14:05:09" << utc(2025, 3, 7, 1, 5, 9);
        QTest::newRow("empty") << "" << QString() << distantPast();
        QTest::newRow("other layout") << "07/03/2025" << QString() << distantPast();
        QTest::newRow("trailing text") << "2025-03-07 x" << QString() << distantPast();
        QTest::newRow("no such day") << "2025-02-30" << QString() << distantPast();
    }

    void parsing()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QDateTime, expected);
        QCOMPARE(time.isNull() ? dateWithDateString(date, auckland) : dateWithDateString(date, time, auckland),
                 expected);
    }

    void hoursAndMinutesOnTheSameDay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("0930") << "0930" << local(2025, 3, 12, 9, 30);
        QTest::newRow("unreadable is midnight") << "09:30" << local(2025, 3, 12);
        QTest::newRow("minutes roll over") << "0075" << local(2025, 3, 12, 1, 15);
    }

    void hoursAndMinutesOnTheSameDay()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(dateWithHoursAndMinutesString(local(2025, 3, 12, 15, 20, 45), text), expected);
        QCOMPARE(dateWithHoursAndMinutesString(QDateTime(), text), distantPast());
    }

    void shifts_data()
    {
        QTest::addColumn<Shift>("shift");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QDateTime>("expected");
        const auto plain = [](QDateTime (*f)(const QDateTime &)) { return Shift([f](const QDateTime &d) { return f(d); }); };
        const QDateTime wednesday = local(2025, 3, 12, 15, 20, 45);
        QTest::newRow("start of day") << plain(startOfDay) << wednesday << local(2025, 3, 12);
        QTest::newRow("midnight") << Shift(atMidnight) << wednesday << local(2025, 3, 12);
        QTest::newRow("start of next day over the clock change") << plain(startOfNextDay) << local(2025, 3, 8, 22)
                                                                  << local(2025, 3, 9);
        QTest::newRow("one week before") << plain(oneWeekBefore) << wednesday << local(2025, 3, 5);
        QTest::newRow("start of week is Sunday") << plain(startOfWeek) << wednesday << local(2025, 3, 9);
        QTest::newRow("start of week across the year") << plain(startOfWeek) << local(2025, 1, 2) << local(2024, 12, 29);
        QTest::newRow("start of month") << plain(startOfMonth) << wednesday << local(2025, 3, 1);
        QTest::newRow("start of year") << plain(startOfYear) << wednesday << local(2025, 1, 1);
        QTest::newRow("rounded down to minute") << plain(roundedDownToMinute) << wednesday << local(2025, 3, 12, 15, 20);
        QTest::newRow("month to date over new year") << plain(monthToDate) << local(2025, 1, 15, 8) << local(2024, 12, 15);
        QTest::newRow("month to date, a day February lacks") << plain(monthToDate) << local(2025, 3, 31)
                                                              << local(2025, 3, 3);
        QTest::newRow("month to date, a day February has in a leap year") << plain(monthToDate) << local(2024, 3, 29)
                                                                           << local(2024, 2, 29);
        QTest::newRow("year to date from a leap day") << plain(yearToDate) << local(2024, 2, 29) << local(2023, 3, 1);
        QTest::newRow("year to date onto a leap day") << plain(yearToDate) << local(2025, 2, 28, 9) << local(2024, 2, 28);
        QTest::newRow("this week's Monday, on a Monday") << Shift(thisWeeksMonday) << local(2025, 3, 10, 15)
                                                          << local(2025, 3, 10);
        QTest::newRow("this week's Monday, on a Sunday") << Shift(thisWeeksMonday) << local(2025, 3, 16, 15)
                                                          << local(2025, 3, 10);
        QTest::newRow("next week's Monday, on a Monday") << Shift(nextWeeksMonday) << local(2025, 3, 10, 15)
                                                          << local(2025, 3, 17);
        QTest::newRow("invalid date stays") << plain(monthToDate) << QDateTime() << QDateTime();
    }

    void shifts()
    {
        QFETCH(Shift, shift);
        QFETCH(QDateTime, date);
        QFETCH(QDateTime, expected);
        const auto result = shift(date);
        QVERIFY(result);
        QCOMPARE(*result, expected);
    }

    void arithmetic()
    {
        QCOMPARE(daysUntil(local(2025, 3, 8, 23, 59), local(2025, 3, 9, 0, 1)), 1);
        QCOMPARE(daysUntil(local(2025, 3, 8, 12), local(2025, 3, 8, 1)), 0);
        QCOMPARE(daysUntil(local(2025, 3, 10), local(2025, 3, 7, 23)), -3);
        QCOMPARE(daysUntil(QDateTime(), local(2025, 3, 7)), std::nullopt);
        QCOMPARE(numberOfWeeks(local(2025, 3, 1), local(2025, 3, 14, 23)), 1);
        QCOMPARE(numberOfWeeks(local(2025, 3, 15), local(2025, 3, 1)), -2);
        QCOMPARE(monthsSince(local(2025, 3, 16), local(2025, 2, 1)), 1 + 15 / 30.4375);
        QCOMPARE(addingWeeks(local(2025, 3, 1, 12), 2), local(2025, 3, 15, 12));
        // Days keep the wall-clock time, whatever the zone of the calendar passed.
        const Calendar tokyo(QTimeZone(QByteArrayLiteral("Asia/Tokyo")));
        QCOMPARE(addingDays(utc(2025, 3, 8, 20), 1, tokyo), utc(2025, 3, 9, 20));
        QCOMPARE(interval(local(2025, 3, 10), CalendarComponent::Day, local(2025, 3, 8, 23)), 2);
        QCOMPARE(interval(local(2025, 3, 9), CalendarComponent::WeekOfYear, local(2025, 3, 8, 23)), 1);
        QCOMPARE(interval(local(2026, 1, 1), CalendarComponent::Month, local(2025, 12, 31)), 1);
        QCOMPARE(interval(QDateTime(), CalendarComponent::Year, local(2025, 1, 1)), 0);
        QCOMPARE(humanReadableInterval(local(2025, 1, 1), local(2026, 3, 20)), QStringLiteral("1y 2m"));
        QCOMPARE(humanReadableInterval(local(2025, 1, 1), local(2025, 1, 23)), QStringLiteral("3w 1d"));
    }

    void predicates()
    {
        const QDateTime a = local(2024, 3, 10, 12);
        QVERIFY(isCloseTo(a, a, 0));
        QVERIFY(!isCloseTo(a, a.addMSecs(1), 0));
        QVERIFY(isCloseTo(a, a.addSecs(5), 5));
        QVERIFY(!isCloseTo(a, a.addSecs(6), 5));
        QVERIFY(!isCloseTo(a, a, -1)); // no range to be in
        QVERIFY(isSameMonth(a, local(2025, 3, 10)) && isSameMonthIgnoreYear(a, local(2025, 3, 1)));
        QVERIFY(!isSameMonthAndYear(a, local(2025, 3, 10)) && isSameMonthAndYear(a, local(2024, 3, 31)));
        QVERIFY(!isSameYear(a, local(2025, 1, 1)));
        QVERIFY(isSameDay(local(2025, 3, 9, 0, 30), local(2025, 3, 9, 23)) && !isSameDay(a, a.addDays(1)));
        QVERIFY(isToday(QDateTime::currentDateTime()) && !isToday(QDateTime::currentDateTime().addDays(-1)));
        QVERIFY(!isOccurrenceInMonth(local(2025, 3, 31), 5)); // the fifth Monday of March
        QVERIFY(isOccurrenceInMonth(local(2025, 3, 24), 4));
        QVERIFY(isWeekOfMonth(local(2025, 3, 2), 2) && isWeekOfMonth(local(2025, 3, 1), 1));
        QVERIFY(isLastWeekOfMonth(local(2025, 3, 30)) && !isLastWeekOfMonth(local(2025, 3, 22)));
        QCOMPARE(weekday(local(2025, 3, 10)), 2);
        QCOMPARE(weekday(QDateTime()), 0);
        QCOMPARE(hour(a), 12);
        QCOMPARE(earlierDate(a, std::nullopt), a);
        QCOMPARE(earlierDate(a, a.addSecs(-1)), a.addSecs(-1));
        QCOMPARE(laterDate(a, a.addSecs(-1)), a);
        QCOMPARE(laterDate(a, a.addSecs(1)), a.addSecs(1));
    }

    void easter_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<QDate>("sunday");
        QTest::newRow("2025") << 2025 << QDate(2025, 4, 20);
        QTest::newRow("2285") << 2285 << QDate(2285, 3, 22);
        QTest::newRow("2038") << 2038 << QDate(2038, 4, 25);
    }

    void easter()
    {
        QFETCH(int, year);
        QFETCH(QDate, sunday);
        const QDateTime midnight(sunday, QTime(0, 0), QTimeZone::systemTimeZone());
        QCOMPARE(easterSunday(year), midnight);
        QCOMPARE(goodFriday(year), midnight.addDays(-2));
        QCOMPARE(easterMonday(year), midnight.addDays(1));
    }

    void durations_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("pad");
        QTest::addColumn<int>("maximum"); // -1: seconds as they are; else an interval of them, cut to so many words
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("positional") << 0 << false << -1 << 3725.9 << "1:02:05";
        QTest::newRow("positional keeps two places") << 0 << false << -1 << 5.0 << "0:05";
        QTest::newRow("padded and negative") << 0 << true << -1 << -3725.0 << "-01:02:05";
        QTest::newRow("abbreviated drops zero units") << 1 << false << -1 << 7205.0 << "2h 5s";
        QTest::newRow("full") << 3 << false << -1 << 7380.0 << "2 hours, 3 minutes";
        QTest::newRow("not finite") << 0 << false << -1 << qInf() << QString();
        // The full style writes two words a unit.
        QTest::newRow("abbreviated, two units") << 1 << false << 2 << 3723.0 << "1h 2m";
        QTest::newRow("full, two words") << 3 << false << 2 << 3723.0 << "1 hour,";
        QTest::newRow("no more words than allowed") << 1 << false << 5 << 3723.0 << "1h 2m 3s";
        QTest::newRow("no limit") << 3 << false << 0 << 3723.0 << "1 hour, 2 minutes, 3 seconds";
    }

    void durations()
    {
        QFETCH(int, style);
        QFETCH(bool, pad);
        QFETCH(int, maximum);
        QFETCH(double, seconds);
        QFETCH(QString, expected);
        BugFixDateComponentsFormatter formatter;
        formatter.unitsStyle = DateComponentsFormatter::UnitsStyle(style);
        formatter.allowedUnits = {CalendarComponent::Hour, CalendarComponent::Minute, CalendarComponent::Second};
        if (pad)
            formatter.zeroFormattingBehavior = DateComponentsFormatter::ZeroFormattingBehavior::Pad;
        if (maximum < 0) {
            QCOMPARE(formatter.string(seconds).value_or(QString()), expected);
            return;
        }
        formatter.maximumUnitCount = maximum;
        const QDateTime start = local(2025, 3, 1);
        QCOMPARE(formatter.string(start, start.addSecs(qint64(seconds))).value_or(QString()), expected);
        // Every "mo" becomes "m", wherever it stands.
        formatter.allowedUnits = {CalendarComponent::Month};
        QCOMPARE(formatter.string(local(2025, 1, 1), start).value_or(QString()),
                 style == 1 ? QStringLiteral("2m") : QStringLiteral("2 mnths"));
    }

    void sharedDurationFormatters()
    {
        QCOMPARE(TMinusFormatter::shared().string(-3725), QStringLiteral("T- 01:02:05"));
        QCOMPARE(TMinusFormatter::shared().string(3725), QStringLiteral("T+ 01:02:05"));
        QCOMPARE(TMinusFormatter::shared().string(0), QStringLiteral("T+ 00:00:00"));
        QCOMPARE(MinutesAndSecondsFormatter::shared().string(-90), QStringLiteral("01:30"));
        QCOMPARE(MinutesAndSecondsFormatter::shared().string(90), QStringLiteral("01:30"));
        QCOMPARE(MinutesAndSecondsFormatter::shared().string(3725), QStringLiteral("62:05"));
    }
};

QTEST_GUILESS_MAIN(DatesTest)
#include "tst_dates.moc"
