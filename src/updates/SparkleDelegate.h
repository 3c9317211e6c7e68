#pragma once

#include "foundation/Bundle.h"
#include "foundation/Logger.h"
#include "platform/updater/SPUUpdaterDelegate.h"

#include <QByteArray>

#include <functional>

// The update channel log ("<bundle id>.Sparkle").
Logger &sparkleLogger();

// The updater's delegate: release channels by version and by modifier keys,
// and HTTP basic credentials on update downloads.
//
// The user forces the "alpha" channel by holding Command and Option (Ctrl
// and Alt) when choosing "Check for Updates…", and "beta" by holding Command
// alone. Only a check the user asked for reads the keys; background checks
// never do.
class SparkleDelegate : public SPUUpdaterDelegate {
public:
    using BundleSource = std::function<Bundle()>;

    // `credential` is "user:password" (empty: none is sent); `bundle` gives
    // the application's bundle for the release version.
    explicit SparkleDelegate(QByteArray credential = builtInCredential(), BundleSource bundle = &Bundle::main);

    // The update server's credential, built in.
    static QByteArray builtInCredential();

    virtual QSet<QString> allowedChannels(SPUUpdater &updater);
    virtual void willDownloadUpdate(SPUUpdater &updater, const SUAppcastItem &item, QNetworkRequest &request);
    virtual std::optional<SUAppcastItem> bestValidUpdate(const SUAppcast &appcast, SPUUpdater &updater);
    // "alpha" for a release version containing "a", else "beta" for one
    // containing "b", else none.
    virtual std::optional<QString> applicationPreferredChannel() const;
    virtual bool shouldDisableUpdates() const;

    // The channel forced by the last allowed-channels query.
    std::optional<QString> forcedChannel() const { return m_forcedChannel; }

    // Whether a download from `url` may carry the credential of a feed at
    // `feedURL`: same origin, and https unless the host is this machine.
    static bool mayAuthenticate(const QUrl &url, const QUrl &feedURL);

    QSet<QString> allowedChannelsForUpdater(SPUUpdater &updater) override { return allowedChannels(updater); }
    void updaterWillDownloadUpdate(SPUUpdater &updater, const SUAppcastItem &item, QNetworkRequest &request) override
    {
        willDownloadUpdate(updater, item, request);
    }
    std::optional<SUAppcastItem> bestValidUpdateInAppcast(const SUAppcast &appcast, SPUUpdater &updater) override
    {
        return bestValidUpdate(appcast, updater);
    }

private:
    std::optional<QString> m_forcedChannel;
    QByteArray m_credential;
    BundleSource m_bundle;
};
