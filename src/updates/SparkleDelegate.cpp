#include "updates/SparkleDelegate.h"

#include "appkit/NSEvent.h"
#include "foundation/FileSystem.h"
#include "platform/updater/SPUUpdater.h"
#include "platform/updater/SUVersionComparator.h"

#include <QHostAddress>
#include <QNetworkRequest>

#include <algorithm>

Logger &sparkleLogger()
{
    static Logger logger(Logger::mainSubsystem(), QStringLiteral("Sparkle"));
    return logger;
}

SparkleDelegate::SparkleDelegate(QByteArray credential, BundleSource bundle)
    : m_credential(std::move(credential)), m_bundle(std::move(bundle))
{
}

QByteArray SparkleDelegate::builtInCredential()
{
    // The update server's download account: the same for every download
    // and every channel.
    return QByteArrayLiteral("qtlvenbo:x7kq2mw9zp");
}

std::optional<QString> SparkleDelegate::applicationPreferredChannel() const
{
    const auto version = m_bundle().releaseVersionNumber();
    if (!version)
        return std::nullopt;
    if (version->contains(QLatin1Char('a')))
        return QStringLiteral("alpha");
    if (version->contains(QLatin1Char('b')))
        return QStringLiteral("beta");
    return std::nullopt;
}

bool SparkleDelegate::shouldDisableUpdates() const
{
    return false;
}

QSet<QString> SparkleDelegate::allowedChannels(SPUUpdater &updater)
{
    Logger &log = sparkleLogger();
    log.logPublic(QStringLiteral("Get Sparkle allowed channels"));
    QSet<QString> channels;
    if (shouldDisableUpdates()) {
        log.logPublic(QStringLiteral("Updates disabled - no channels allowed"));
        return channels;
    }
    if (const auto preferred = applicationPreferredChannel()) {
        log.logPublic(QStringLiteral("App's preferred channel: ") + *preferred);
        channels.insert(*preferred);
    }
    m_forcedChannel.reset();
    // Keys held while the application starts must not steer its
    // background check; only the user's command reads them.
    if (updater.currentUpdateCheck() == SPUUpdateCheck::Updates) {
        const Qt::KeyboardModifiers keys = NSEvent::modifierFlags();
        const bool command = keys.testFlag(Qt::ControlModifier);
        const bool option = keys.testFlag(Qt::AltModifier);
        if (command && option)
            m_forcedChannel = QStringLiteral("alpha");
        else if (command)
            m_forcedChannel = QStringLiteral("beta");
        if (m_forcedChannel)
            channels.insert(*m_forcedChannel);
    }
    QStringList names(channels.cbegin(), channels.cend());
    names.sort();
    log.logPublic(QStringLiteral("Additional channels for Sparkle update check: ") + names.join(QStringLiteral(", "))
                  + QStringLiteral(" [") + m_forcedChannel.value_or(QStringLiteral("no force")) + QStringLiteral("]"));
    return channels;
}

bool SparkleDelegate::mayAuthenticate(const QUrl &url, const QUrl &feedURL)
{
    if (!SPUUpdater::isSameOrigin(url, feedURL))
        return false;
    if (url.scheme() == u"https")
        return true;
    const QHostAddress address(url.host());
    const bool loopback = url.host().compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0
                       || (!address.isNull() && address.isLoopback());
    return url.scheme() == u"http" && loopback;
}

void SparkleDelegate::willDownloadUpdate(SPUUpdater &updater, const SUAppcastItem &, QNetworkRequest &request)
{
    Logger &log = sparkleLogger();
    log.logPublic(QStringLiteral("Will download update, using request: { URL: ") + absoluteString(request.url())
                  + QStringLiteral(" }"));
    if (m_credential.isEmpty())
        return;
    if (!mayAuthenticate(request.url(), updater.feedURL())) {
        log.logPublic(QStringLiteral("Update download is not on the feed's host over https; sending no credentials"));
        return;
    }
    // Set, not added: a request carries one credential.
    request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Basic ") + m_credential.toBase64());
}

std::optional<SUAppcastItem> SparkleDelegate::bestValidUpdate(const SUAppcast &appcast, SPUUpdater &)
{
    Logger &log = sparkleLogger();
    if (!m_forcedChannel) {
        log.logPublic(QStringLiteral("No forced channel preference"));
        return std::nullopt;
    }
    // The forced channel's items alone (the default channel's are not of
    // it), oldest first by numeric version, so that 1.10 comes after 1.9;
    // equal versions keep their appcast order.
    QList<SUAppcastItem> kept;
    for (const SUAppcastItem &item : appcast.items) {
        if (item.channel && *item.channel == *m_forcedChannel)
            kept.append(item);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const SUAppcastItem &a, const SUAppcastItem &b) {
        return SUVersionComparator::compareVersions(a.versionString, b.versionString) < 0;
    });
    for (const SUAppcastItem &item : kept)
        log.logPublic(item.displayVersionString + QStringLiteral(" (") + item.versionString + QStringLiteral(")"));
    if (kept.isEmpty())
        return std::nullopt;
    // Whether it is newer than the installed build is the updater's to
    // decide: returning none would let it choose another item instead.
    return kept.last();
}
