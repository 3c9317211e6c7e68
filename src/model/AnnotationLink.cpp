#include "model/AnnotationLink.h"

#include "model/SiteName.h"
#include "platform/LocalizedText.h"

namespace {

// What a link may open. Links come in archives that other people share, so
// anything that would make the desktop run code or open local files is
// refused.
bool isOpenableScheme(const QString &scheme)
{
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
        || scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
        || scheme.compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QUrl> AnnotationLink::address() const
{
    const QString trimmed = trimmingWhitespaceAndNewlines(urlString);
    if (trimmed.isEmpty())
        return std::nullopt;

    // Read strictly: text that is no valid address as it stands (a blank
    // in it, a stray %) has none, rather than being mended into an address
    // that would open some other page.
    const QUrl asTyped(trimmed, QUrl::StrictMode);
    if (asTyped.isValid() && !asTyped.scheme().isEmpty())
        return asTyped;

    const QUrl withHttps(QStringLiteral("https://") + trimmed, QUrl::StrictMode);
    if (withHttps.isValid() && !withHttps.host().isEmpty())
        return withHttps;
    return std::nullopt;
}

std::optional<QUrl> AnnotationLink::url() const
{
    std::optional<QUrl> opened = address();
    if (opened && !isOpenableScheme(opened->scheme()))
        return std::nullopt;
    return opened;
}

QString AnnotationLink::displayTitle() const
{
    const QString trimmedLabel = trimmingWhitespaceAndNewlines(label);
    if (!trimmedLabel.isEmpty())
        return trimmedLabel;
    // Named by its site whatever it may open: the title only shows.
    if (const std::optional<QUrl> parsed = address()) {
        if (std::optional<QString> site = siteName(*parsed))
            return *site;
    }
    return urlString;
}

QJsonObject AnnotationLink::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), uuidText(id)},
                       {QStringLiteral("label"), label},
                       {QStringLiteral("urlString"), urlString}};
}

Result<AnnotationLink, QString> AnnotationLink::fromJson(const QJsonValue &json)
{
    const QString typeName = QStringLiteral("AnnotationLink");
    const Result<QJsonObject, QString> object = decodeObject(json, typeName);
    if (!object)
        return Result<AnnotationLink, QString>::failure(object.error());
    const Result<QUuid, QString> id = decodeUuid(object.value(), QStringLiteral("id"), typeName);
    if (!id)
        return Result<AnnotationLink, QString>::failure(id.error());
    const Result<QString, QString> label = decodeString(object.value(), QStringLiteral("label"), typeName);
    if (!label)
        return Result<AnnotationLink, QString>::failure(label.error());
    const Result<QString, QString> urlString = decodeString(object.value(), QStringLiteral("urlString"), typeName);
    if (!urlString)
        return Result<AnnotationLink, QString>::failure(urlString.error());
    return Result<AnnotationLink, QString>(AnnotationLink{id.value(), label.value(), urlString.value()});
}

size_t qHash(const AnnotationLink &link, size_t seed) noexcept
{
    return qHashMulti(seed, link.id, link.label, link.urlString);
}
