#include "foundation/IcuBridge.h"

#include <QLocale>

namespace icubridge {

QByteArray localeId(const std::optional<QString> &identifier)
{
    const QString name = identifier ? *identifier : QLocale().name();
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return QByteArrayLiteral("en_US_POSIX");
    return name.toLatin1();
}

QTimeZone zoneOrCurrent(const QTimeZone &zone)
{
    return zone.isValid() ? zone : QTimeZone::systemTimeZone();
}

QString zoneId(const QTimeZone &zone)
{
    const QTimeZone resolved = zoneOrCurrent(zone);
    QString id = QString::fromLatin1(resolved.id());
    if (id.isEmpty())
        return QStringLiteral("GMT");
    // Qt names fixed offsets "UTC+hh:mm"; ICU reads "GMT+hh:mm".
    if (id.size() > 3 && id.startsWith(u"UTC") && (id.at(3) == u'+' || id.at(3) == u'-'))
        id.replace(0, 3, QStringLiteral("GMT"));
    return id;
}

std::optional<UDate> toUDate(const QDateTime &date)
{
    if (!date.isValid())
        return std::nullopt;
    return UDate(date.toMSecsSinceEpoch());
}

QDateTime fromUDate(UDate date, const QTimeZone &zone)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(date), zoneOrCurrent(zone));
}

CalendarHandle openCalendar(const QTimeZone &zone, const QByteArray &locale)
{
    const QString id = zoneId(zone);
    UErrorCode status = U_ZERO_ERROR;
    CalendarHandle calendar(ucal_open(uchars(id), int32_t(id.size()), locale.constData(), UCAL_GREGORIAN, &status));
    if (U_FAILURE(status))
        return nullptr;
    return calendar;
}

} // namespace icubridge
