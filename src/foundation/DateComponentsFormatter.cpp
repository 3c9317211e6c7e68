#include "foundation/DateComponentsFormatter.h"

#include "foundation/IcuBridge.h"

#include <QStringList>

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

#include <cmath>
#include <vector>

namespace {

const QList<CalendarComponent> unitsLargestFirst{CalendarComponent::Year,   CalendarComponent::Month,
                                                 CalendarComponent::WeekOfMonth, CalendarComponent::Day,
                                                 CalendarComponent::Hour,   CalendarComponent::Minute,
                                                 CalendarComponent::Second};

icu::MeasureUnit *createUnit(CalendarComponent unit, UErrorCode &status)
{
    switch (unit) {
    case CalendarComponent::Year:
        return icu::MeasureUnit::createYear(status);
    case CalendarComponent::Month:
        return icu::MeasureUnit::createMonth(status);
    case CalendarComponent::WeekOfMonth:
        return icu::MeasureUnit::createWeek(status);
    case CalendarComponent::Day:
        return icu::MeasureUnit::createDay(status);
    case CalendarComponent::Hour:
        return icu::MeasureUnit::createHour(status);
    case CalendarComponent::Minute:
        return icu::MeasureUnit::createMinute(status);
    default:
        return icu::MeasureUnit::createSecond(status);
    }
}

UMeasureFormatWidth width(DateComponentsFormatter::UnitsStyle style)
{
    switch (style) {
    case DateComponentsFormatter::UnitsStyle::Abbreviated:
        return UMEASFMT_WIDTH_NARROW;
    case DateComponentsFormatter::UnitsStyle::Short:
        return UMEASFMT_WIDTH_SHORT;
    default:
        return UMEASFMT_WIDTH_WIDE;
    }
}

struct UnitValue {
    CalendarComponent unit;
    qint64 value;
};

QString positional(const QList<UnitValue> &values, bool pad)
{
    qsizetype first = 0;
    if (!pad) {
        while (first < values.size() - 2 && values[first].value == 0)
            ++first;
    }
    QStringList places;
    for (qsizetype i = first; i < values.size(); ++i) {
        const int digits = (pad || i > first) ? 2 : 1;
        places << QStringLiteral("%1").arg(values[i].value, digits, 10, QLatin1Char('0'));
    }
    return places.join(QLatin1Char(':'));
}

std::optional<QString> counted(QList<UnitValue> values, DateComponentsFormatter::UnitsStyle style, int maximum)
{
    QList<UnitValue> shown;
    for (const UnitValue &value : values) {
        if (value.value != 0)
            shown.append(value);
    }
    if (shown.isEmpty() && !values.isEmpty())
        shown.append(values.last());
    if (maximum > 0 && shown.size() > maximum)
        shown.resize(maximum);

    UErrorCode status = U_ZERO_ERROR;
    const icu::MeasureFormat format(icu::Locale(icubridge::localeId().constData()), width(style), status);
    std::vector<icu::Measure> measures;
    for (const UnitValue &value : shown)
        measures.emplace_back(icu::Formattable(double(value.value)), createUnit(value.unit, status), status);
    if (U_FAILURE(status))
        return std::nullopt;
    icu::UnicodeString text;
    icu::FieldPosition position;
    format.formatMeasures(measures.data(), int32_t(measures.size()), text, position, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return icubridge::fromUChars(text.getBuffer(), text.length());
}

} // namespace

std::optional<QString> DateComponentsFormatter::string(double seconds) const
{
    if (!std::isfinite(seconds))
        return std::nullopt;
    // Measured in a calendar without daylight-saving steps, from a fixed day.
    const QDateTime start(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    const double end = double(start.toMSecsSinceEpoch()) + seconds * 1000.0;
    if (std::fabs(end) > 1e17)
        return std::nullopt;
    const Calendar calendar(QTimeZone::utc());
    return string(calendar.dateComponents(allowedUnits, start, QDateTime::fromMSecsSinceEpoch(qint64(end), QTimeZone::utc())));
}

std::optional<QString> DateComponentsFormatter::string(const QDateTime &start, const QDateTime &end) const
{
    if (!start.isValid() || !end.isValid())
        return std::nullopt;
    return string(Calendar::current().dateComponents(allowedUnits, start, end));
}

std::optional<QString> DateComponentsFormatter::string(const DateComponents &components) const
{
    QList<UnitValue> values;
    bool negative = false;
    for (const CalendarComponent unit : unitsLargestFirst) {
        if (!allowedUnits.contains(unit))
            continue;
        const auto value = components.value(unit);
        if (!value)
            return std::nullopt;
        negative = negative || *value < 0;
        values.append({unit, std::abs(qint64(*value))});
    }
    if (values.isEmpty())
        return std::nullopt;
    const auto text = unitsStyle == UnitsStyle::Positional
        ? std::optional<QString>(positional(values, zeroFormattingBehavior == ZeroFormattingBehavior::Pad))
        : counted(values, unitsStyle, maximumUnitCount);
    if (!text)
        return std::nullopt;
    return negative ? QLatin1Char('-') + *text : *text;
}
