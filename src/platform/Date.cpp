#include "platform/Date.h"

#include <chrono>
#include <cmath>



namespace {
// Seconds between 1970-01-01 and 2001-01-01, both UTC.
constexpr double referenceOffset = 978307200.0;
}

Date Date::now()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return fromSecondsSince1970(double(sinceEpoch) / 1e9);
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
