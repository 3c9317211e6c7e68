#include "appkit/NSColor.h"

#include "appkit/NSApplication.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<QColor> colourFromText(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    const QColor colour = QColor::fromString(value.toString());
    if (!colour.isValid())
        return std::nullopt;
    return colour;
}

} // namespace

QColor NSColor::assetNamed(const QString &name, const QColor &fallBack, const Bundle &bundle, const QPalette &palette)
{
    const auto path = bundle.pathForResource(QStringLiteral("Colors"), QStringLiteral("json"));
    if (!path)
        return fallBack;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return fallBack;
    const QJsonValue entry = QJsonDocument::fromJson(file.readAll()).object().value(name);
    const auto light = colourFromText(entry[QLatin1String("light")]);
    if (!light)
        return fallBack;
    if (NSAppearance::isDarkMode(palette))
        return colourFromText(entry[QLatin1String("dark")]).value_or(*light);
    return *light;
}

QColor NSColor::systemOrange(const QPalette &palette)
{
    return NSAppearance::isDarkMode(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}
