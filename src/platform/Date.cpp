#include "platform/Date.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

namespace {
// Seconds between 1970-01-01 and 2001-01-01, both UTC.
constexpr double referenceOffset = 978307200.0;

// None: the system clock.
std::atomic<Date::Clock> chosenClock{nullptr};
}

Date Date::now()
{
    if (const Clock clock = chosenClock.load())
        return clock();
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return fromSecondsSince1970(double(sinceEpoch) / 1e9);
}

Date Date::nowAfter(Date earlier)
{
    const Date current = now();
    if (current > earlier)
        return current;
    return Date{std::nextafter(earlier.secondsSinceReferenceDate, std::numeric_limits<double>::infinity())};
}

void Date::setClock(Clock clock)
{
    chosenClock.store(clock);
}

Date Date::fromSecondsSince1970(double seconds)
{
    return Date{seconds - referenceOffset};
}

Date Date::fromDateTime(const QDateTime &dateTime)
{
    return fromSecondsSince1970(double(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

double Date::secondsSince1970() const
{
    return secondsSinceReferenceDate + referenceOffset;
}

QDateTime Date::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(secondsSince1970() * 1000.0)), Qt::UTC);
}
