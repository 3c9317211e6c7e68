#pragma once

#include "platform/updater/SPUUpdaterDelegate.h"
#include "platform/updater/SPUUserDriver.h"

#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// What the updater needs to know about the application it updates.
struct SPUUpdaterSettings {
    QUrl feedURL;             // empty: no feed configured
    QString hostVersion;      // the installed build, compared with the items' versions
    QString hostDisplayVersion;
    QString hostName;
    bool automaticallyChecksForUpdates = false;
    int timeoutMilliseconds = 30000; // without data for this long a request fails
    QString downloadDirectory;       // empty: "Updates" in the cache folder
};

// Checks an appcast feed for a newer build, lets the user decide, and
// downloads and checks the chosen archive. One session runs at a time.
class SPUUpdater : public QObject {
    Q_OBJECT

public:
    SPUUpdater(SPUUpdaterSettings settings, SPUUserDriver *userDriver, SPUUpdaterDelegate *delegate,
               QObject *parent = nullptr);
    ~SPUUpdater() override;

    // Readies the updater; false (with `error`) when no feed is configured.
    bool startUpdater(QString *error = nullptr);
    bool isStarted() const { return m_started; }

    bool automaticallyChecksForUpdates() const { return m_settings.automaticallyChecksForUpdates; }
    QUrl feedURL() const { return m_settings.feedURL; }
    const SPUUpdaterSettings &settings() const { return m_settings; }

    // A check the user asked for: every outcome is shown. A background
    // check still reading the feed is replaced; any other running session
    // is kept, since it is already before the user.
    void checkForUpdates();
    // A quiet check: only a found update is shown.
    void checkForUpdatesInBackground();

    bool sessionInProgress() const { return m_session != nullptr; }
    // The kind of the running check, none between sessions.
    std::optional<SPUUpdateCheck> currentUpdateCheck() const;
    // The last session's result.
    std::optional<SPUUpdateResult> lastResult() const { return m_lastResult; }

    // Whether two addresses share scheme, host and port.
    static bool isSameOrigin(const QUrl &a, const QUrl &b);

signals:
    void sessionFinished(const SPUUpdateResult &result);

private:
    struct Session;
    using ReplyHandler = std::function<void(QNetworkReply *reply)>;

    void beginCheck(SPUUpdateCheck check);
    void appcastArrived(QNetworkReply *reply);
    void updateChosen(const SUAppcastItem &item);
    void download(const SUAppcastItem &item);
    void downloadFinished(QNetworkReply *reply);
    void finish(SPUUpdateResult result);
    // Sends `request`, following up to `redirectsLeft` redirects by hand so
    // that the "Authorization" header never leaves the request's origin.
    void send(QNetworkRequest request, int redirectsLeft, ReplyHandler handler);
    static QString describeFailure(QNetworkReply *reply);

    SPUUpdaterSettings m_settings;
    SPUUserDriver *m_userDriver;
    SPUUpdaterDelegate *m_delegate;
    QNetworkAccessManager *m_network;
    std::unique_ptr<Session> m_session;
    std::optional<SPUUpdateResult> m_lastResult;
    bool m_started = false;
};
