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

SUAppcastItem item(const QString &version, std::optional<QString> channel)
{
    SUAppcastItem item;
    item.versionString = version;
    item.displayVersionString = QStringLiteral("v") + version;
    item.channel = std::move(channel);
    return item;
}

} // namespace

class SparkleDelegateTest : public QObject {
    Q_OBJECT

private:
    TestHttpServer m_silent;

    // Runs the allowed-channels query of a check of the given kind, with
    // `keys` held, the way the updater runs it when a check starts.
    QSet<QString> channelsFor(SparkleDelegate &delegate, SPUUpdateCheck check, Qt::KeyboardModifiers keys,
                              std::unique_ptr<SPUUpdater> &updater)
    {
        NSEvent::setModifierSource([keys] { return keys; });
        SPUUpdaterSettings settings;
        settings.feedURL = m_silent.url(QStringLiteral("/appcast.xml"));
        settings.hostVersion = QStringLiteral("1.0");
        updater = std::make_unique<SPUUpdater>(settings, nullptr, &delegate);
        if (check == SPUUpdateCheck::Updates)
            updater->checkForUpdates();
        else
            updater->checkForUpdatesInBackground();
        logged.clear();
        const QSet<QString> channels = delegate.allowedChannelsForUpdater(*updater);
        NSEvent::setModifierSource({});
        return channels;
    }

private slots:
    void initTestCase()
    {
        m_silent.route("/appcast.xml", [](const TestHttpRequest &) { return TestHttpResponse::silence(); });
        Logger::setWriter(&captureWriter);
    }
    void cleanupTestCase() { Logger::setWriter(nullptr); }

    void preferredChannelFollowsTheReleaseVersion_data()
    {
        QTest::addColumn<QVariant>("version");
        QTest::addColumn<QString>("channel");
        QTest::newRow("alpha") << QVariant(QStringLiteral("2.1a3")) << "alpha";
        QTest::newRow("beta") << QVariant(QStringLiteral("2.1b2")) << "beta";
        QTest::newRow("release") << QVariant(QStringLiteral("2.1")) << "";
        QTest::newRow("the word beta holds an a") << QVariant(QStringLiteral("2.1 beta")) << "alpha";
        QTest::newRow("absent") << QVariant() << "";
    }

    void preferredChannelFollowsTheReleaseVersion()
    {
        QFETCH(QVariant, version);
        QFETCH(QString, channel);
        QVariantMap info;
        if (version.isValid())
            info.insert(QStringLiteral("CFBundleShortVersionString"), version);
        const VeloranSparkleDelegate delegate(QByteArray(), [info] { return Bundle(info); });
        QCOMPARE(delegate.applicationPreferredChannel().value_or(QString()), channel);
        QVERIFY(!delegate.shouldDisableUpdates());
    }

    void allowedChannelsAndTheirLog_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QStringList>("channels");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("no keys") << "1.0" << int(Qt::NoModifier) << QStringList{} << " [no force]";
        QTest::newRow("command and option") << "1.0" << int(Qt::ControlModifier | Qt::AltModifier)
                                            << QStringList{"alpha"} << "alpha [alpha]";
        QTest::newRow("command") << "1.0b1" << int(Qt::ControlModifier) << QStringList{"beta"} << "beta [beta]";
        QTest::newRow("preferred and forced") << "1.0a1" << int(Qt::ControlModifier) << QStringList{"alpha", "beta"}
                                              << "alpha, beta [beta]";
        QTest::newRow("option alone") << "1.0" << int(Qt::AltModifier) << QStringList{} << " [no force]";
    }

    void allowedChannelsAndTheirLog()
    {
        QFETCH(QString, release);
        QFETCH(int, keys);
        QFETCH(QStringList, channels);
        QFETCH(QString, lastLine);
        VeloranSparkleDelegate delegate(QByteArray(), [release] {
            return Bundle(QVariantMap{{QStringLiteral("CFBundleShortVersionString"), release}});
        });
        std::unique_ptr<SPUUpdater> updater;
        QSet<QString> allowed = channelsFor(delegate, SPUUpdateCheck::Updates, Qt::KeyboardModifiers(keys), updater);
        QCOMPARE(logged.first(), QStringLiteral("Get Sparkle allowed channels"));
        QCOMPARE(logged.last(), QStringLiteral("Additional channels for Sparkle update check: ") + lastLine);
        QStringList sorted(allowed.cbegin(), allowed.cend());
        sorted.sort();
        QCOMPARE(sorted, channels);
    }

    void backgroundChecksIgnoreHeldKeys()
    {
        VeloranSparkleDelegate delegate(QByteArray(), [] { return Bundle(QVariantMap{}); });
        std::unique_ptr<SPUUpdater> updater;
        const QSet<QString> allowed = channelsFor(delegate, SPUUpdateCheck::UpdatesInBackground,
                                                  Qt::ControlModifier | Qt::AltModifier, updater);
        QVERIFY(allowed.isEmpty());
        QVERIFY(!delegate.forcedChannel());
    }

    void forcedChoiceIsNumericAndNeverOlder()
    {
        VeloranSparkleDelegate delegate(QByteArray(), [] { return Bundle(QVariantMap{}); });
        std::unique_ptr<SPUUpdater> updater;
        channelsFor(delegate, SPUUpdateCheck::Updates, Qt::ControlModifier, updater);
        QCOMPARE(delegate.forcedChannel(), QStringLiteral("beta"));

        SUAppcast appcast;
        appcast.items = {item("1.9", "beta"), item("1.10", "beta"), item("2.0", "alpha")};
        logged.clear();
        auto best = delegate.bestValidUpdate(appcast, *updater);
        QVERIFY(best);
        QCOMPARE(best->versionString, QStringLiteral("1.10"));
        QCOMPARE(logged, (QStringList{"v1.9 (1.9)", "v1.10 (1.10)"}));

        // Equal versions: the later item wins.
        SUAppcastItem later = item("1.10", "beta");
        later.title = QStringLiteral("later");
        appcast.items.append(later);
        QCOMPARE(delegate.bestValidUpdate(appcast, *updater)->title, QStringLiteral("later"));

        // Nothing of the channel, or only older builds: the choice is left to the updater.
        appcast.items = {item("0.9", "beta"), item("1.0", std::nullopt)};
        QVERIFY(!delegate.bestValidUpdate(appcast, *updater));
        appcast.items = {item("5.0", "alpha")};
        QVERIFY(!delegate.bestValidUpdate(appcast, *updater));
    }

    void withoutForcedChannelTheUpdaterChooses()
    {
        VeloranSparkleDelegate delegate(QByteArray(), [] { return Bundle(QVariantMap{}); });
        std::unique_ptr<SPUUpdater> updater;
        channelsFor(delegate, SPUUpdateCheck::Updates, Qt::NoModifier, updater);
        SUAppcast appcast;
        appcast.items = {item("3.0", "beta")};
        logged.clear();
        QVERIFY(!delegate.bestValidUpdate(appcast, *updater));
        QCOMPARE(logged, QStringList{QStringLiteral("No forced channel preference")});
    }

    void credentialIsSetOnceAndOnlyForTheFeedsOrigin()
    {
        VeloranSparkleDelegate delegate("qa:pass", [] { return Bundle(QVariantMap{}); });
        SPUUpdaterSettings settings;
        settings.feedURL = QUrl(QStringLiteral("https://updates.example.org/appcast.xml"));
        SPUUpdater updater(settings, nullptr, &delegate);

        QNetworkRequest request(QUrl(QStringLiteral("https://updates.example.org/Veloran-2.0.zip")));
        request.setRawHeader("Authorization", "Basic stale");
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, request);
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Basic cWE6cGFzcw=="));
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, request);
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Basic cWE6cGFzcw=="));

        QNetworkRequest elsewhere(QUrl(QStringLiteral("https://cdn.example.net/Veloran-2.0.zip")));
        delegate.updaterWillDownloadUpdate(updater, SUAppcastItem{}, elsewhere);
        QVERIFY(!elsewhere.hasRawHeader("Authorization"));
    }

    void mayAuthenticate_data()
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

    void mayAuthenticate()
    {
        QFETCH(QString, download);
        QFETCH(QString, feed);
        QFETCH(bool, allowed);
        QCOMPARE(SparkleDelegate::mayAuthenticate(QUrl(download), QUrl(feed)), allowed);
    }

    void dialogTexts()
    {
        SPUUpdateResult result;
        result.kind = SPUUpdateResult::Kind::NoFeed;
        const auto noFeed = updateResultMessage(result, QStringLiteral("Veloran"), QStringLiteral("1.0"));
        QVERIFY(noFeed && noFeed->informativeText.contains(QStringLiteral("no update feed")));
        result.kind = SPUUpdateResult::Kind::UpToDate;
        QCOMPARE(updateResultMessage(result, QStringLiteral("Veloran"), QStringLiteral("1.0"))->informativeText,
                 QStringLiteral("Veloran 1.0 is currently the newest version available."));
        result.kind = SPUUpdateResult::Kind::Failed;
        result.message = QStringLiteral("The update server answered with HTTP status 500.");
        QCOMPARE(updateResultMessage(result, QStringLiteral("Veloran"), QStringLiteral("1.0"))->informativeText,
                 result.message);
        result.kind = SPUUpdateResult::Kind::Declined;
        QVERIFY(!updateResultMessage(result, QStringLiteral("Veloran"), QStringLiteral("1.0")));
        QCOMPARE(updateFoundMessage(item("2.0", std::nullopt), QStringLiteral("Veloran"), QStringLiteral("1.0")).informativeText,
                 QStringLiteral("Veloran v2.0 is now available—you have 1.0. Would you like to download it now?"));
    }
};

QTEST_GUILESS_MAIN(SparkleDelegateTest)
#include "tst_sparkledelegate.moc"
