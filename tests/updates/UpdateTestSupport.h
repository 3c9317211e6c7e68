#pragma once

#include "foundation/Bundle.h"
#include "platform/updater/SPUUserDriver.h"

#include <QCryptographicHash>
#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

// One release in a test appcast.
struct FeedItem {
    QString version;
    std::optional<QString> channel;
    QUrl url;
    QByteArray body;          // the archive's bytes, for the digest and length
    qint64 length = -1;       // -1: the body's size
    QByteArray sha256 = {};   // empty: the body's digest
};

inline QByteArray appcastXml(const QList<FeedItem> &items)
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
                     "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n<channel>\n"
                     "<title>Veloran</title>\n";
    for (const FeedItem &item : items) {
        const QByteArray digest = item.sha256.isEmpty()
            ? QCryptographicHash::hash(item.body, QCryptographicHash::Sha256).toHex()
            : item.sha256;
        xml += "<item><title>Veloran " + item.version.toUtf8() + "</title>";
        xml += "<sparkle:version>" + item.version.toUtf8() + "</sparkle:version>";
        xml += "<sparkle:shortVersionString>" + item.version.toUtf8() + "</sparkle:shortVersionString>";
        if (item.channel)
            xml += "<sparkle:channel>" + item.channel->toUtf8() + "</sparkle:channel>";
        xml += "<enclosure url=\"" + item.url.toEncoded() + "\" length=\""
            + QByteArray::number(item.length < 0 ? item.body.size() : item.length)
            + "\" type=\"application/octet-stream\" sparkle:sha256=\"" + digest + "\"/></item>\n";
    }
    return xml + "</channel>\n</rss>\n";
}

// A bundle whose release version is `version` (none when null).
inline Bundle releaseBundle(const QString &version)
{
    QVariantMap info;
    if (!version.isNull())
        info.insert(QStringLiteral("CFBundleShortVersionString"), version);
    return Bundle(info);
}

// Records what the updater shows and answers the download question.
class RecordingUserDriver : public SPUUserDriver {
public:
    bool acceptsDownloads = true;
    bool holdsAnswer = false; // keeps the question open in `pendingAnswer`
    std::function<void(bool)> pendingAnswer;
    QList<SUAppcastItem> found;
    QList<SPUUpdateResult> shown;

    void showUpdateFound(const SUAppcastItem &item, SPUUpdateCheck, std::function<void(bool)> reply) override
    {
        found.append(item);
        if (holdsAnswer)
            pendingAnswer = std::move(reply);
        else
            reply(acceptsDownloads);
    }
    void showUpdateResult(const SPUUpdateResult &result) override { shown.append(result); }
};
