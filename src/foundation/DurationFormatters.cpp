#include "foundation/DurationFormatters.h"

#include <QStringList>

#include <cmath>

using C = CalendarComponent;

std::optional<QString> BugFixDateComponentsFormatter::string(const QDateTime &start, const QDateTime &end) const
{
    auto text = DateComponentsFormatter::string(start, end);
    if (!text)
        return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(' '));
    // No limit keeps every word.
    if (maximumUnitCount > 0 && maximumUnitCount < parts.size())
        text = parts.mid(0, maximumUnitCount).join(QLatin1Char(' '));
    return text->replace(QStringLiteral("mo"), QStringLiteral("m"));
}

MinutesAndSecondsFormatter::MinutesAndSecondsFormatter()
{
    m_formatter.unitsStyle = DateComponentsFormatter::UnitsStyle::Positional;
    m_formatter.allowedUnits = {C::Minute, C::Second};
    m_formatter.zeroFormattingBehavior = DateComponentsFormatter::ZeroFormattingBehavior::Pad;
}

MinutesAndSecondsFormatter &MinutesAndSecondsFormatter::shared()
{
    static MinutesAndSecondsFormatter formatter;
    return formatter;
}

std::optional<QString> MinutesAndSecondsFormatter::string(double seconds) const
{
    return m_formatter.string(std::fabs(seconds));
}

TMinusFormatter::TMinusFormatter()
{
    m_formatter.unitsStyle = DateComponentsFormatter::UnitsStyle::Positional;
    m_formatter.allowedUnits = {C::Hour, C::Minute, C::Second};
    m_formatter.zeroFormattingBehavior = DateComponentsFormatter::ZeroFormattingBehavior::Pad;
}

TMinusFormatter &TMinusFormatter::shared()
{
    static TMinusFormatter formatter;
    return formatter;
}

std::optional<QString> TMinusFormatter::string(double seconds) const
{
    const auto text = m_formatter.string(std::fabs(seconds));
    if (!text)
        return std::nullopt;
    return QStringLiteral("T%1 %2").arg(seconds < 0 ? QStringLiteral("-") : QStringLiteral("+"), *text);
}
