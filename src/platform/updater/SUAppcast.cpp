#include "platform/updater/SUAppcast.h"

#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

bool isSparkle(const QXmlStreamReader &xml, QStringView name)
{
    return xml.namespaceUri() == sparkleNamespace && xml.name() == name;
}

QString sparkleAttribute(const QXmlStreamAttributes &attributes, const QString &name)
{
    return attributes.value(sparkleNamespace, name).toString();
}

bool isHexDigest(const QByteArray &digest)
{
    if (digest.size() != 64)
        return false;
    for (const char c : digest) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

SUAppcastItem readItem(QXmlStreamReader &xml)
{
    SUAppcastItem item;
    QString enclosureVersion;
    QString enclosureShortVersion;
    QString shortVersion;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"title" && xml.namespaceUri().isEmpty()) {
            item.title = xml.readElementText().trimmed();
        } else if (xml.name() == u"description" && xml.namespaceUri().isEmpty()) {
            item.itemDescription = xml.readElementText().trimmed();
        } else if (isSparkle(xml, u"version")) {
            item.versionString = xml.readElementText().trimmed();
        } else if (isSparkle(xml, u"shortVersionString")) {
            shortVersion = xml.readElementText().trimmed();
        } else if (isSparkle(xml, u"channel")) {
            const QString channel = xml.readElementText().trimmed();
            if (!channel.isEmpty())
                item.channel = channel;
        } else if (xml.name() == u"enclosure" && xml.namespaceUri().isEmpty()) {
            const QXmlStreamAttributes attributes = xml.attributes();
            item.fileURL = QUrl(attributes.value(QLatin1String("url")).toString().trimmed());
            bool ok = false;
            const qint64 length = attributes.value(QLatin1String("length")).toLongLong(&ok);
            item.contentLength = ok && length > 0 ? length : 0;
            item.sha256 = sparkleAttribute(attributes, QStringLiteral("sha256")).trimmed().toLower().toLatin1();
            enclosureVersion = sparkleAttribute(attributes, QStringLiteral("version")).trimmed();
            enclosureShortVersion = sparkleAttribute(attributes, QStringLiteral("shortVersionString")).trimmed();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (item.versionString.isEmpty())
        item.versionString = enclosureVersion;
    if (shortVersion.isEmpty())
        shortVersion = enclosureShortVersion;
    item.displayVersionString = shortVersion.isEmpty() ? item.versionString : shortVersion;
    return item;
}

} // namespace

bool SUAppcastItem::isValid() const
{
    return !versionString.isEmpty() && fileURL.isValid() && !fileURL.isRelative() && isHexDigest(sha256);
}

std::optional<SUAppcast> SUAppcast::parse(const QByteArray &data, QString *error)
{
    QXmlStreamReader xml(data);
    SUAppcast appcast;
    bool sawChannel = false;
    if (xml.readNextStartElement() && xml.name() == u"rss") {
        while (xml.readNextStartElement()) {
            if (xml.name() != u"channel") {
                xml.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (xml.readNextStartElement()) {
                if (xml.name() == u"item")
                    appcast.items.append(readItem(xml));
                else
                    xml.skipCurrentElement();
            }
        }
    } else if (!xml.hasError()) {
        xml.raiseError(QStringLiteral("The document is not an RSS feed."));
    }
    if (!xml.hasError() && !sawChannel)
        xml.raiseError(QStringLiteral("The feed has no channel."));
    if (!xml.hasError()) {
        // Anything after the root element must still be well formed.
        while (!xml.atEnd())
            xml.readNext();
    }
    if (xml.hasError()) {
        if (error)
            *error = QStringLiteral("%1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber());
        return std::nullopt;
    }
    return appcast;
}
