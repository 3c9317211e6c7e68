#include "appkit/NSEvent.h"
#include "support/TestHttpServer.h"
#include "UpdateTestSupport.h"
#include "updates/StandardUserDriver.h"
#include "updates/VeloranSparkleDelegate.h"

#include "platform/updater/SPUUpdater.h"

#include <QNetworkRequest>
#include <QTest>

namespace {

QStringList logged;
void captureWriter(LogLevel, const Logger &logger, const QString &text)
{
    if (logger.category() == u"Sparkle")
        logged << text;
}

// Items written "version" or "version/channel", separated by spaces; each
// item's title is its position.
SUAppcast appcastOf(const QString &items)
{
    SUAppcast appcast;
    for (const QString &text : items.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        SUAppcastItem item;
        item.title = QString::number(appcast.items.size());
        item.versionString = text.section(QLatin1Char('/'), 0, 0);
        item.displayVersionString = QStringLiteral("v") + item.versionString;
        if (text.contains(QLatin1Char('/')))
            item.channel = text.section(QLatin1Char('/'), 1);
        appcast.items.append(item);
    }
    return appcast;
}

} // namespace

class SparkleDelegateTest : public QObject {
    Q_OBJECT

private:
    TestHttpServer m_silent;
    std::unique_ptr<SPUUpdater> m_updater;

    // Starts a check of the given kind with `keys` held, the way the updater
    // does, then runs the allowed-channels query again with the log cleared.
    QSet<QString> channelsFor(SparkleDelegate &delegate, bool background, Qt::KeyboardModifiers keys)
    {
        NSEvent::setModifierSource([keys] { return keys; });
        SPUUpdaterSettings settings;
        settings.feedURL = m_silent.url(QStringLiteral("/appcast.xml"));
        settings.hostVersion = QStringLiteral("1.0");
        m_updater = std::make_unique<SPUUpdater>(settings, nullptr, &delegate);
        if (background)
            m_updater->checkForUpdatesInBackground();
        else
            m_updater->checkForUpdates();
        logged.clear();
        const QSet<QString> channels = delegate.allowedChannelsForUpdater(*m_updater);
        NSEvent::setModifierSource({});
        return channels;
    }

private slots:
    void initTestCase()
    {
        m_silent.route("/appcast.xml", [](const TestHttpRequest &) { return TestHttpResponse::silence(); });
        Logger::setWriter(&captureWriter);
    }
    void cleanup() { m_updater.reset(); }
    void cleanupTestCase() { Logger::setWriter(nullptr); }

    void allowedChannelsAndTheirLog_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<bool>("background");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QStringList>("channels");
        QTest::addColumn<QString>("lastLine");
        const int commandOption = Qt::ControlModifier | Qt::AltModifier;
        // Without keys, the channel the release version prefers: "a" anywhere
        // in it (even in "beta") is an alpha, "b" a beta.
        QTest::newRow("no keys") << "1.0" << false << int(Qt::NoModifier) << QStringList{} << " [no force]";
        QTest::newRow("no version") << QString() << false << int(Qt::NoModifier) << QStringList{} << " [no force]";
        QTest::newRow("alpha build") << "2.1a3" << false << int(Qt::NoModifier) << QStringList{"alpha"} << "alpha [no force]";
        QTest::newRow("beta build") << "2.1b2" << true << int(Qt::NoModifier) << QStringList{"beta"} << "beta [no force]";
        QTest::newRow("the word beta") << "2.1 beta" << false << int(Qt::NoModifier) << QStringList{"alpha"} << "alpha [no force]";
        QTest::newRow("command and option") << "1.0" << false << commandOption << QStringList{"alpha"} << "alpha [alpha]";
        QTest::newRow("command") << "1.0b1" << false << int(Qt::ControlModifier) << QStringList{"beta"} << "beta [beta]";
        QTest::newRow("preferred and forced") << "1.0a1" << false << int(Qt::ControlModifier)
                                              << QStringList{"alpha", "beta"} << "alpha, beta [beta]";
        QTest::newRow("option alone") << "1.0" << false << int(Qt::AltModifier) << QStringList{} << " [no force]";
        QTest::newRow("background ignores keys") << "1.0" << true << commandOption << QStringList{} << " [no force]";
    }

    void allowedChannelsAndTheirLog()
    {
        QFETCH(QString, release);
        QFETCH(bool, background);
        QFETCH(int, keys);
        QFETCH(QStringList, channels);
        QFETCH(QString, lastLine);
        VeloranSparkleDelegate delegate(QByteArray(), [release] { return releaseBundle(release); });
        const QSet<QString> allowed = channelsFor(delegate, background, Qt::KeyboardModifiers(keys));
        QCOMPARE(logged.first(), QStringLiteral("Get Sparkle allowed channels"));
        QCOMPARE(logged.last(), QStringLiteral("Additional channels for Sparkle update check: ") + lastLine);
        QStringList sorted(allowed.cbegin(), allowed.cend());
        sorted.sort();
        QCOMPARE(sorted, channels);
    }

    // With 1.0 installed: the forced channel's greatest build, by numeric
    // version, whether or not it is newer (the updater decides that); none,
    // which leaves the choice to the updater, when the channel has none.
    void forcedChoice_data()
    {
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("listed");
        const int command = Qt::ControlModifier;
        QTest::newRow("numeric, forced channel only")
            << command << "1.9/beta 1.10/beta 2.0/alpha" << "1" << QStringList{"v1.9 (1.9)", "v1.10 (1.10)"};
        QTest::newRow("equal versions: the later item")
            << command << "1.10/beta 1.10/beta" << "1" << QStringList{"v1.10 (1.10)", "v1.10 (1.10)"};
        QTest::newRow("items without a channel are never kept")
            << command << "3.0 2.0/beta 4.0" << "1" << QStringList{"v2.0 (2.0)"};
        QTest::newRow("not newer than the installed build")
            << command << "0.9/beta 1.0 0.8/beta" << "0" << QStringList{"v0.8 (0.8)", "v0.9 (0.9)"};
        QTest::newRow("only items without a channel") << command << "5.0 6.0" << "" << QStringList{};
        QTest::newRow("nothing of the channel") << command << "5.0/alpha" << "" << QStringList{};
        QTest::newRow("no forced channel")
            << int(Qt::NoModifier) << "3.0/beta" << "" << QStringList{"No forced channel preference"};
    }

    void forcedChoice()
    {
        QFETCH(int, keys);
        QFETCH(QString, items);
        QFETCH(QString, chosen);
        QFETCH(QStringList, listed);
        VeloranSparkleDelegate delegate(QByteArray(), [] { return releaseBundle(QStringLiteral("1.0")); });
        channelsFor(delegate, false, Qt::KeyboardModifiers(keys));
        logged.clear();
        const auto best = delegate.bestValidUpdate(appcastOf(items), *m_updater);
        QCOMPARE(best ? best->title : QString(), chosen);
        QCOMPARE(logged, listed);
    }

    // The credential replaces any other, and only on the feed's origin over
    // https, or plain http on this machine.
    void credentialOnlyForTheFeedsOrigin_data()
    {
        QTest::addColumn<QString>("download");
        QTest::addColumn<QString>("feed");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https, same host") << "https://u.example.org/a.zip" << "https://u.example.org/f.xml" << true;
        QTest::newRow("https, host case") << "https://U.Example.org/a.zip" << "https://u.example.org/f.xml" << true;
        QTest::newRow("plain http") << "http://u.example.org/a.zip" << "http://u.example.org/f.xml" << false;
        QTest::newRow("downgrade") << "http://u.example.org/a.zip" << "https://u.example.org/f.xml" << false;
        QTest::newRow("other host") << "https://evil.example/a.zip" << "https://u.example.org/f.xml" << false;
        QTest::newRow("other port") << "https://u.example.org:8443/a.zip" << "https://u.example.org/f.xml" << false;
        QTest::newRow("explicit default port") << "https://u.example.org:443/a.zip" << "https://u.example.org/f.xml" << true;
        QTest::newRow("loopback http") << "http://127.0.0.1:8080/a.zip" << "http://127.0.0.1:8080/f.xml" << true;
        QTest::newRow("localhost http") << "http://localhost:8080/a.zip" << "http://localhost:8080/f.xml" << true;
        QTest::newRow("loopback, other address") << "http://127.0.0.2:8080/a.zip" << "http://127.0.0.1:8080/f.xml" << false;
    }

    void credentialOnlyForTheFeedsOrigin()
    {
        QFETCH(QString, download);
        QFETCH(QString, feed);
        QFETCH(bool, allowed);
        VeloranSparkleDelegate delegate("qa:pass", [] { return releaseBundle(QString()); });
        SPUUpdaterSettings settings;
        settings.feedURL = QUrl(feed);
        SPUUpdater updater(settings, nullptr, &delegate);
        QNetworkRequest request{QUrl(download)};
        request.setRawHeader("Authorization", "Basic stale");
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, request);
        QCOMPARE(request.rawHeader("Authorization"), allowed ? QByteArray("Basic cWE6cGFzcw==") : QByteArray("Basic stale"));
    }

    // The download's address is logged as its encoded text.
    void theDownloadIsLoggedByItsEncodedAddress_data()
    {
        QTest::addColumn<QString>("download");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "https://u.example.org/a.zip" << "https://u.example.org/a.zip";
        QTest::newRow("a blank") << "https://u.example.org/Veloran 2.zip" << "https://u.example.org/Veloran%202.zip";
        QTest::newRow("non-ASCII") << QStringLiteral("https://u.example.org/Ver\u00f6ffentlichung.zip")
                                   << "https://u.example.org/Ver%C3%B6ffentlichung.zip";
    }

    void theDownloadIsLoggedByItsEncodedAddress()
    {
        QFETCH(QString, download);
        QFETCH(QString, shown);
        VeloranSparkleDelegate delegate("qa:pass", [] { return releaseBundle(QString()); });
        SPUUpdaterSettings settings;
        settings.feedURL = QUrl(QStringLiteral("https://u.example.org/f.xml"));
        SPUUpdater updater(settings, nullptr, &delegate);
        QNetworkRequest request{QUrl(download)};
        logged.clear();
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, request);
        QVERIFY(!logged.isEmpty());
        QCOMPARE(logged.first(), "Will download update, using request: { URL: " + shown + " }");
    }

    void theBuiltInCredentialGoesOnEachDownload()
    {
        QCOMPARE(SparkleDelegate::builtInCredential(), QByteArray("qtlvenbo:x7kq2mw9zp"));
        VeloranSparkleDelegate delegate;
        SPUUpdaterSettings settings;
        settings.feedURL = QUrl("https://u.example.org/f.xml");
        SPUUpdater updater(settings, nullptr, &delegate);
        QNetworkRequest request{QUrl("https://u.example.org/a.zip")};
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, request);
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Basic cXRsdmVuYm86eDdrcTJtdzl6cA=="));
    }

    void dialogTexts_data()
    {
        QTest::addColumn<SPUUpdateResult::Kind>("kind");
        QTest::addColumn<QString>("informativeText"); // empty: nothing is shown
        using Kind = SPUUpdateResult::Kind;
        QTest::newRow("no feed") << Kind::NoFeed << "This copy of Veloran has no update feed configured.";
        QTest::newRow("up to date") << Kind::UpToDate << "Veloran 1.0 is currently the newest version available.";
        QTest::newRow("failed") << Kind::Failed << "The update server answered with HTTP status 500.";
        QTest::newRow("declined") << Kind::Declined << "";
        QTest::newRow("cancelled") << Kind::Cancelled << "";
    }

    void dialogTexts()
    {
        QFETCH(SPUUpdateResult::Kind, kind);
        QFETCH(QString, informativeText);
        SPUUpdateResult result;
        result.kind = kind;
        result.message = QStringLiteral("The update server answered with HTTP status 500.");
        const auto message = updateResultMessage(result, QStringLiteral("Veloran"), QStringLiteral("1.0"));
        QCOMPARE(message ? message->informativeText : QString(), informativeText);
    }

    void updateFoundQuestion()
    {
        const SUAppcastItem found = appcastOf(QStringLiteral("2.0")).items.first();
        QCOMPARE(updateFoundMessage(found, QStringLiteral("Veloran"), QStringLiteral("1.0")).informativeText,
                 QStringLiteral("Veloran v2.0 is now available—you have 1.0. Would you like to download it now?"));
    }
};

QTEST_GUILESS_MAIN(SparkleDelegateTest)
#include "tst_sparkledelegate.moc"
