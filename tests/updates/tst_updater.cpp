#include "appkit/NSEvent.h"
#include "support/TestHttpServer.h"
#include "UpdateTestSupport.h"
#include "support/AlertButtons.h"
#include "ui/AlertDialog.h"
#include "updates/StandardUserDriver.h"
#include "updates/UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray credential = "tester:s3cret";
const QByteArray expectedAuthorization = "Basic " + credential.toBase64();
const QByteArray archive = "archive bytes of the new build";

// An archive that answers 401 without the exact credential.
TestHttpResponse guardedArchive(const TestHttpRequest &request, const QByteArray &body = archive)
{
    if (request.values("Authorization") != QList<QByteArray>{expectedAuthorization})
        return TestHttpResponse::error(401);
    return TestHttpResponse::ok(body);
}

// Chooses the item of one version, or none.
class ChoosingDelegate : public SPUUpdaterDelegate {
public:
    explicit ChoosingDelegate(QString version) : m_version(std::move(version)) {}
    std::optional<SUAppcastItem> bestValidUpdateInAppcast(const SUAppcast &appcast, SPUUpdater &) override
    {
        for (const SUAppcastItem &item : appcast.items) {
            if (item.versionString == m_version)
                return item;
        }
        return std::nullopt;
    }

private:
    QString m_version;
};

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT

private:
    TestHttpServer *m_server = nullptr;
    QTemporaryDir *m_downloads = nullptr;
    RecordingUserDriver *m_driver = nullptr;
    std::unique_ptr<UpdaterController> m_controller;

    SPUUpdaterSettings settings(const QString &installed = QStringLiteral("1.0")) const
    {
        SPUUpdaterSettings settings;
        settings.feedURL = m_server->url(QStringLiteral("/appcast.xml"));
        settings.hostVersion = installed;
        settings.hostDisplayVersion = installed;
        settings.hostName = QStringLiteral("Veloran");
        settings.timeoutMilliseconds = 500;
        settings.downloadDirectory = m_downloads->path();
        return settings;
    }

    SPUUpdater *makeUpdater(SPUUpdaterSettings settings, const QString &release = QStringLiteral("1.0"),
                            const QByteArray &key = credential)
    {
        auto driver = std::make_unique<RecordingUserDriver>();
        m_driver = driver.get();
        m_controller = std::make_unique<UpdaterController>(
            std::move(settings), [release] { return releaseBundle(release); }, std::move(driver), key);
        return m_controller->controller()->updater();
    }

    SPUUpdateResult run(SPUUpdater *updater, SPUUpdateCheck check)
    {
        QSignalSpy finished(updater, &SPUUpdater::sessionFinished);
        if (check == SPUUpdateCheck::Updates)
            m_controller->controller()->checkForUpdates(nullptr);
        else
            updater->checkForUpdatesInBackground();
        if (finished.isEmpty())
            finished.wait(5000);
        return updater->lastResult().value_or(SPUUpdateResult{});
    }

    QStringList downloadedFiles() const { return QDir(m_downloads->path()).entryList(QDir::Files); }

    void serveChannels()
    {
        m_server->serve("/appcast.xml",
                        appcastXml({{QStringLiteral("1.5"), std::nullopt, m_server->url("/default.zip"), archive},
                                    {QStringLiteral("1.9"), QStringLiteral("beta"), m_server->url("/b9.zip"), archive},
                                    {QStringLiteral("1.10"), QStringLiteral("beta"), m_server->url("/b10.zip"), archive},
                                    {QStringLiteral("2.0"), QStringLiteral("alpha"), m_server->url("/a.zip"), archive},
                                    {QStringLiteral("9.0"), QStringLiteral("nightly"), m_server->url("/n.zip"), archive}}));
        for (const QByteArray path : {"/default.zip", "/b9.zip", "/b10.zip", "/a.zip", "/n.zip"})
            m_server->route(path, [](const TestHttpRequest &request) { return guardedArchive(request); });
    }

private slots:
    void init()
    {
        m_server = new TestHttpServer;
        QVERIFY(m_server->isListening());
        m_downloads = new QTemporaryDir;
    }

    void cleanup()
    {
        m_controller.reset();
        delete m_downloads;
        delete m_server;
        NSEvent::setModifierSource({});
    }

    void startUpChecksInBackgroundWithoutReadingHeldKeys()
    {
        serveChannels();
        // Command and Option held while the application starts.
        NSEvent::setModifierSource([] { return Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier); });
        SPUUpdaterSettings automatic = settings();
        QVERIFY(!makeUpdater(automatic)->sessionInProgress()); // automatic checks are off
        automatic.automaticallyChecksForUpdates = true;
        SPUUpdater *updater = makeUpdater(automatic);
        QCOMPARE(updater->currentUpdateCheck(), SPUUpdateCheck::UpdatesInBackground);
        QSignalSpy finished(updater, &SPUUpdater::sessionFinished);
        QVERIFY(finished.wait(5000));
        QVERIFY(!m_controller->delegate()->forcedChannel());
        QCOMPARE(m_driver->found.size(), 1);
        QCOMPARE(updater->lastResult()->item->versionString, QStringLiteral("1.5"));
        QCOMPARE(updater->lastResult()->kind, SPUUpdateResult::Kind::Downloaded);
        QCOMPARE(m_server->requests.size(), 2); // the feed, then the archive
    }

    void theCommandForcesAChannelByKeys_data()
    {
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("expected"); // empty: up to date
        QTest::addColumn<bool>("accepted");     // the user's answer to the update found
        QTest::newRow("no keys, release") << int(Qt::NoModifier) << "1.0" << "1.0" << "1.5" << true;
        QTest::newRow("no keys, beta build") << int(Qt::NoModifier) << "1.0b1" << "1.0" << "1.10" << true;
        QTest::newRow("command and option: alpha") << int(Qt::ControlModifier | Qt::AltModifier) << "1.0" << "1.0" << "2.0" << true;
        QTest::newRow("shift plays no part") << int(Qt::ShiftModifier | Qt::MetaModifier) << "1.0" << "1.0" << "1.5" << true;
        QTest::newRow("never an older build") << int(Qt::ControlModifier) << "1.0" << "1.20" << "" << true;
        QTest::newRow("declined: nothing downloaded") << int(Qt::NoModifier) << "1.0" << "1.0" << "1.5" << false;
    }

    void theCommandForcesAChannelByKeys()
    {
        QFETCH(int, keys);
        QFETCH(QString, release);
        QFETCH(QString, installed);
        QFETCH(QString, expected);
        QFETCH(bool, accepted);
        serveChannels();
        NSEvent::setModifierSource([keys] { return Qt::KeyboardModifiers(keys); });
        SPUUpdater *updater = makeUpdater(settings(installed), release);
        m_driver->acceptsDownloads = accepted;
        const SPUUpdateResult result = run(updater, SPUUpdateCheck::Updates);
        const bool found = !expected.isEmpty();
        const bool downloaded = found && accepted;
        using Kind = SPUUpdateResult::Kind;
        QCOMPARE(result.kind, downloaded ? Kind::Downloaded : found ? Kind::Declined : Kind::UpToDate);
        QCOMPARE(result.item ? result.item->versionString : QString(), expected);
        QCOMPARE(m_driver->found.size(), found ? 1 : 0);
        QCOMPARE(m_driver->shown.size(), found && !accepted ? 0 : 1);
        QCOMPARE(downloadedFiles().size(), downloaded ? 1 : 0);
        QCOMPARE(m_server->requests.size(), downloaded ? 2 : 1); // the feed, then the archive
    }

    void credentialStaysWithinTheFeedsOrigin()
    {
        TestHttpServer mirror(QHostAddress(QStringLiteral("127.0.0.2")));
        if (!mirror.isListening())
            QSKIP("127.0.0.2 is not available on this machine");
        m_server->serve("/appcast.xml",
                        appcastXml({{QStringLiteral("2.0"), std::nullopt, m_server->url("/moved.zip"), archive}}));
        m_server->route("/moved.zip", [&](const TestHttpRequest &) {
            return TestHttpResponse::redirect(m_server->url("/renamed.zip"));
        });
        m_server->route("/renamed.zip", [&](const TestHttpRequest &) {
            return TestHttpResponse::redirect(mirror.url("/mirror.zip"));
        });
        mirror.serve("/mirror.zip", archive);
        SPUUpdater *updater = makeUpdater(settings());
        const SPUUpdateResult result = run(updater, SPUUpdateCheck::Updates);
        QCOMPARE(int(result.kind), int(SPUUpdateResult::Kind::Downloaded));
        // One credential on the download, none on the feed; it follows a
        // redirect to the same origin, and is dropped for another.
        QVERIFY(m_server->requestsFor("/appcast.xml").value(0).values("Authorization").isEmpty());
        for (const QByteArray path : {"/moved.zip", "/renamed.zip"})
            QCOMPARE(m_server->requestsFor(path).value(0).values("Authorization"), QList<QByteArray>{expectedAuthorization});
        QCOMPARE(mirror.requestsFor("/mirror.zip").size(), 1);
        QVERIFY(mirror.requestsFor("/mirror.zip").value(0).values("Authorization").isEmpty());
    }

    // Failures of the feed and of the download (a build without the
    // credential included): reported, and nothing left on disk. Checking in
    // the background, only a download the user agreed to reports its failure.
    void failuresAreReported_data()
    {
        QTest::addColumn<int>("feedStatus");     // 0: no answer
        QTest::addColumn<QByteArray>("feed");    // null: an appcast announcing the archive
        QTest::addColumn<QByteArray>("served");  // the archive; null: no answer
        QTest::addColumn<qint64>("length");      // announced
        QTest::addColumn<QByteArray>("digest");  // announced; empty: the archive's own
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("key");
        const QByteArray none;
        const qint64 size = archive.size();
        const QByteArray wrongDigest = QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex();
        QTest::newRow("feed 404") << 404 << QByteArray("") << none << size << none << "404" << credential;
        QTest::newRow("feed 500") << 500 << QByteArray("") << none << size << none << "500" << credential;
        QTest::newRow("malformed feed") << 200 << QByteArray("<rss><channel><item>") << none << size << none
                                        << "could not be read" << credential;
        QTest::newRow("feed without answer") << 0 << none << none << size << none << "did not answer in time"
                                             << credential;
        QTest::newRow("endless feed") << 200 << QByteArray(9 * 1024 * 1024, ' ') << none << size << none
                                      << "more than an update feed holds" << credential;
        QTest::newRow("longer than announced") << 200 << none << archive + "tail" << size << none << "size" << credential;
        QTest::newRow("shorter than announced") << 200 << none << archive.left(5) << size << none << "size" << credential;
        QTest::newRow("wrong digest") << 200 << none << archive << size << wrongDigest << "checksum" << credential;
        QTest::newRow("stalled download") << 200 << none << none << size << none << "in time" << credential;
        QTest::newRow("no credential") << 200 << none << archive << size << none << "401" << none;
    }

    void failuresAreReported()
    {
        QFETCH(int, feedStatus);
        QFETCH(QByteArray, feed);
        QFETCH(QByteArray, served);
        QFETCH(qint64, length);
        QFETCH(QByteArray, digest);
        QFETCH(QString, message);
        QFETCH(QByteArray, key);
        const QByteArray announced =
            appcastXml({{QStringLiteral("2.0"), std::nullopt, m_server->url("/u.zip"), archive, length, digest}});
        m_server->route("/appcast.xml", [=](const TestHttpRequest &) {
            if (feedStatus == 0)
                return TestHttpResponse::silence();
            return TestHttpResponse{feedStatus, feed.isNull() ? announced : feed, {}, false};
        });
        m_server->route("/u.zip", [served](const TestHttpRequest &request) {
            return served.isNull() ? TestHttpResponse::silence() : guardedArchive(request, served);
        });
        SPUUpdaterSettings chosen = settings();
        // Only a server that stops answering waits out the timeout; the
        // others get time to spare on a machine busy with other work.
        if (feedStatus != 0 && !(feed.isNull() && served.isNull()))
            chosen.timeoutMilliseconds = 30000;
        SPUUpdater *updater = makeUpdater(chosen, QStringLiteral("1.0"), key);
        const SPUUpdateResult result = run(updater, SPUUpdateCheck::Updates);
        QCOMPARE(int(result.kind), int(SPUUpdateResult::Kind::Failed));
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        QCOMPARE(m_driver->shown.size(), 1);
        QVERIFY(!updater->sessionInProgress());
        QVERIFY(downloadedFiles().isEmpty());
        const bool downloading = feedStatus == 200 && feed.isNull();
        QCOMPARE(int(run(updater, SPUUpdateCheck::UpdatesInBackground).kind), int(SPUUpdateResult::Kind::Failed));
        QCOMPARE(m_driver->shown.size(), downloading ? 2 : 1);
    }

    void withoutAFeedTheCommandSaysSo()
    {
        SPUUpdaterSettings none = settings();
        none.feedURL = QUrl();
        none.automaticallyChecksForUpdates = true;
        SPUUpdater *updater = makeUpdater(none);
        QVERIFY(!updater->isStarted());
        QCOMPARE(int(updater->lastResult()->kind), int(SPUUpdateResult::Kind::NoFeed));
        QVERIFY(m_driver->shown.isEmpty()); // the start-up check stays quiet
        const SPUUpdateResult result = run(updater, SPUUpdateCheck::Updates);
        QCOMPARE(int(result.kind), int(SPUUpdateResult::Kind::NoFeed));
        QCOMPARE(m_driver->shown.size(), 1);
    }

    // The delegate's choice is offered when it is newer than the installed
    // build, even with a newer item in the feed, and refused when it is
    // not: the check finds nothing rather than choosing another item.
    void theDelegatesChoiceIsOfferedOnlyWhenNewer_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: the delegate leaves the choice
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("offered"); // empty: up to date
        QTest::newRow("newer") << "2.0" << "1.0" << "2.0";
        QTest::newRow("older") << "2.0" << "2.5" << "";
        QTest::newRow("the installed build") << "2.0" << "2.0" << "";
        QTest::newRow("no choice: the newest") << "" << "2.5" << "3.0";
        QTest::newRow("no choice, nothing newer") << "" << "3.0" << "";
    }

    void theDelegatesChoiceIsOfferedOnlyWhenNewer()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, installed);
        QFETCH(QString, offered);
        m_server->serve("/appcast.xml", appcastXml({{QStringLiteral("3.0"), std::nullopt, m_server->url("/3.zip"), archive},
                                                    {QStringLiteral("2.0"), std::nullopt, m_server->url("/2.zip"), archive}}));
        ChoosingDelegate delegate(chosen);
        RecordingUserDriver driver;
        driver.acceptsDownloads = false;
        SPUUpdater updater(settings(installed), &driver, &delegate);
        QVERIFY(updater.startUpdater());
        QSignalSpy finished(&updater, &SPUUpdater::sessionFinished);
        updater.checkForUpdates();
        QVERIFY(finished.wait(5000));
        QCOMPARE(updater.lastResult()->kind, offered.isEmpty() ? SPUUpdateResult::Kind::UpToDate
                                                               : SPUUpdateResult::Kind::Declined);
        QCOMPARE(driver.found.size(), offered.isEmpty() ? 0 : 1);
        QCOMPARE(driver.found.isEmpty() ? QString() : driver.found.first().versionString, offered);
    }

    void theCommandReplacesARunningBackgroundCheck()
    {
        m_server->route("/appcast.xml", [](const TestHttpRequest &) { return TestHttpResponse::silence(); });
        SPUUpdater *updater = makeUpdater(settings());
        updater->checkForUpdatesInBackground();
        QCOMPARE(updater->currentUpdateCheck(), SPUUpdateCheck::UpdatesInBackground);
        QSignalSpy finished(updater, &SPUUpdater::sessionFinished);
        m_controller->controller()->checkForUpdates(nullptr);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(int(finished.first().first().value<SPUUpdateResult>().kind), int(SPUUpdateResult::Kind::Cancelled));
        QCOMPARE(updater->currentUpdateCheck(), SPUUpdateCheck::Updates);
        // A second command while the first runs starts nothing new.
        m_controller->controller()->checkForUpdates(nullptr);
        QCOMPARE(finished.size(), 1);
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_driver->shown.size(), 1);
    }

    void theCommandLeavesAFoundUpdateInFrontOfTheUser()
    {
        serveChannels();
        SPUUpdater *updater = makeUpdater(settings());
        m_driver->holdsAnswer = true;
        QSignalSpy finished(updater, &SPUUpdater::sessionFinished);
        updater->checkForUpdatesInBackground();
        QTRY_VERIFY(m_driver->pendingAnswer);
        m_controller->controller()->checkForUpdates(nullptr);
        QCOMPARE(m_driver->found.size(), 1);
        QCOMPARE(updater->currentUpdateCheck(), SPUUpdateCheck::UpdatesInBackground);
        m_driver->pendingAnswer(true);
        QVERIFY(finished.wait(5000));
        QCOMPARE(int(updater->lastResult()->kind), int(SPUUpdateResult::Kind::Downloaded));
        QCOMPARE(m_driver->shown.size(), 1); // the download's result is shown even from the background
    }

    void settingsComeFromTheInfoDictionary()
    {
        const Bundle bundle(QVariantMap{{QStringLiteral("SUFeedURL"), QStringLiteral(" https://updates.example.org/appcast.xml ")},
                                        {QStringLiteral("SUEnableAutomaticChecks"), true},
                                        {QStringLiteral("CFBundleVersion"), QStringLiteral("42")},
                                        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")}});
        const SPUUpdaterSettings fromBundle = UpdaterController::settingsFromBundle(bundle);
        QCOMPARE(fromBundle.feedURL, QUrl(QStringLiteral("https://updates.example.org/appcast.xml")));
        QVERIFY(fromBundle.automaticallyChecksForUpdates);
        QCOMPARE(fromBundle.hostVersion, QStringLiteral("42"));
        QCOMPARE(fromBundle.hostDisplayVersion, QStringLiteral("1.2"));
        const Bundle mistyped(QVariantMap{{QStringLiteral("SUEnableAutomaticChecks"), QStringLiteral("YES")}});
        QVERIFY(!UpdaterController::settingsFromBundle(mistyped).automaticallyChecksForUpdates);
        QVERIFY(UpdaterController::settingsFromBundle(mistyped).feedURL.isEmpty());
    }

    // The application's own command, on the shared updater of this build.
    void theMenuCommandSaysWhenThereIsNoFeed()
    {
        QMenuBar bar;
        QAction *check = installUpdateCommands(&bar);
        QCOMPARE(bar.actions().first()->text(), QStringLiteral("Veloran")); // the application's menu, made
        QCOMPARE(bar.actions().first()->menu()->actions(), QList<QAction *>{check});
        QCOMPARE(check->text(), QStringLiteral("Check for Updates…"));
        if (!Bundle::main().stringForKey(QStringLiteral("SUFeedURL")).value_or(QString()).isEmpty())
            QSKIP("this build has an update feed");
        check->trigger();
        AlertDialog *box = nullptr;
        QTRY_VERIFY((box = qobject_cast<AlertDialog *>(QApplication::activeModalWidget())));
        QCOMPARE(box->windowTitle(), QStringLiteral("Updates Are Not Available"));
        QCOMPARE(box->title(), QStringLiteral("Veloran cannot check for updates."));
        QVERIFY(box->message().contains(QStringLiteral("no update feed")));
        QTest::keyClick(box, Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    // The found update is asked about in the application's alert: Return
    // downloads, Escape and "Remind Me Later" don't; the release notes show.
    void theFoundUpdateIsAskedAbout_data()
    {
        QTest::addColumn<int>("key"); // 0: a click on "Remind Me Later"
        QTest::addColumn<bool>("download");
        QTest::newRow("Return") << int(Qt::Key_Return) << true;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
        QTest::newRow("Remind Me Later") << 0 << false;
    }
    void theFoundUpdateIsAskedAbout()
    {
        QFETCH(int, key);
        StandardUserDriver driver(QStringLiteral("Veloran"), QStringLiteral("1.0"));
        SUAppcastItem item;
        item.displayVersionString = QStringLiteral("2.0");
        item.itemDescription = QStringLiteral("Faster thumbnails.");
        QList<bool> answers;
        driver.showUpdateFound(item, SPUUpdateCheck::Updates, [&answers](bool download) { answers << download; });
        AlertDialog *alert = nullptr;
        QTRY_VERIFY((alert = qobject_cast<AlertDialog *>(QApplication::activeModalWidget())));
        QCOMPARE(alert->title(), QStringLiteral("A new version of Veloran is available!"));
        QVERIFY(alert->message().contains(QStringLiteral("Veloran 2.0 is now available")));
        QCOMPARE(laidOutButtonTitles(*alert), (QStringList{"Remind Me Later", "Download Update"}));
        auto *notes = alert->findChild<QPlainTextEdit *>();
        QVERIFY(notes && notes->isVisible());
        QCOMPARE(notes->toPlainText(), item.itemDescription);
        if (key)
            QTest::keyClick(alert, Qt::Key(key));
        else
            alert->button(QStringLiteral("Remind Me Later"))->click();
        QFETCH(bool, download);
        QCOMPARE(answers, QList<bool>{download});
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(answers.size(), 1);
    }

    // A downloaded update offers its folder beside "OK", which Return presses.
    void aDownloadedUpdateSaysWhereItIs()
    {
        StandardUserDriver driver(QStringLiteral("Veloran"), QStringLiteral("1.0"));
        SPUUpdateResult result;
        result.kind = SPUUpdateResult::Kind::Downloaded;
        result.filePath = QStringLiteral("/tmp/Veloran-2.0.tar.xz");
        driver.showUpdateResult(result);
        AlertDialog *alert = nullptr;
        QTRY_VERIFY((alert = qobject_cast<AlertDialog *>(QApplication::activeModalWidget())));
        QCOMPARE(laidOutButtonTitles(*alert), (QStringList{"Show in Folder", "OK"}));
        QCOMPARE(defaultButtonTitle(*alert), QStringLiteral("OK"));
        QTest::keyClick(alert, Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(UpdaterTest)
#include "tst_updater.moc"
