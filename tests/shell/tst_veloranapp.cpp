#include "ShellTestSupport.h"

#include "model/VeloranSchemaV1.h"
#include "platform/TerminationSignals.h"
#include "platform/UserDefaults.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelStoreError.h"
#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"
#include "shell/Extensions.h"
#include "shell/ModelContainerSetup.h"
#include "shell/VeloranApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <limits>
#include <memory>

// Start-up order, a container that cannot be built, and the test host's in-memory store.
class VeloranAppTest : public QObject {
    Q_OBJECT
private:
    // A library in `folder` holding one image whose bytes are in a file.
    static void makeLibraryWithAFile(const QString &folder)
    {
        auto container = makeTestContainer(folder);
        container->mainContext().insert(AtlasImage::make(QStringLiteral("large"), Modality::mr, Region::head,
                                                         Plane::unspecified, {}, Sex::unspecified,
                                                         QByteArray(ExternalStorage::fileThreshold, 'x')));
        container->mainContext().save();
    }

    // That library with its store file emptied, its picture's file kept.
    static bool loseLibraryKeepingItsFile(const QString &folder)
    {
        makeLibraryWithAFile(folder);
        return QFile::resize(storePath(folder), 0);
    }

    static QString storePath(const QString &folder) { return QDir(folder).filePath(QStringLiteral("default.store")); }

    struct Recorder {
        QStringList steps;
        QString fatal;
        QStringList warnings;
        std::function<void()> read; // that of the last warning
        VeloranApp::Services services(UserDefaults &defaults, CloudAccountService &accounts, bool failing = false)
        {
            VeloranApp::Services services;
            services.defaults = &defaults;
            services.accountService = &accounts;
            services.makeContainer = [this, &defaults, failing]() -> std::unique_ptr<ModelContainer> {
                steps << (defaults.object(CloudSyncSettings::enabledKey()).isValid() ? QStringLiteral("container after defaults")
                                                                                    : QStringLiteral("container before defaults"));
                if (failing)
                    throw ModelStoreError(ModelStoreError::Code::damaged, QStringLiteral("The library file is damaged."));
                return makeTestContainer();
            };
            services.startUpdater = [this] { steps << QStringLiteral("updater"); };
            services.reportFatalError = [this](const QString &message) { fatal = message; };
            services.reportWarning = [this](const QString &message, const std::function<void()> &onceRead) {
                warnings << message;
                read = onceRead;
            };
            return services;
        }
    };

private slots:
    void startsInOrder_data()
    {
        QTest::addColumn<bool>("syncOn");
        QTest::addColumn<bool>("failing"); // the container cannot be built
        QTest::newRow("sync never switched on") << false << false;
        QTest::newRow("sync on") << true << false;
        QTest::newRow("the container fails") << true << true;
    }

    // The account is monitored only when sync is on and the start succeeds.
    void startsInOrder()
    {
        QFETCH(bool, syncOn);
        QFETCH(bool, failing);
        UserDefaults defaults(syncOn ? QVariantMap{{CloudSyncSettings::enabledKey(), true}} : QVariantMap{});
        FakeCloudAccountService accounts;
        Recorder recorder;
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts, failing));
        QCOMPARE(bool(app), !failing);
        QCOMPARE(recorder.steps.join(u','), failing ? "container after defaults" : "container after defaults,updater");
        QCOMPARE(recorder.fatal, failing ? QStringLiteral("Failed to create ModelContainer: The library file is damaged.")
                                         : QString());
        QCOMPARE(defaults.boolForKey(CloudSyncSettings::enabledKey()), syncOn);
        QVERIFY(defaults.object(CloudSyncSettings::enabledKey()).isValid());
        QTest::qWait(20);
        QCOMPARE(accounts.containers.size(), syncOn && !failing ? 1 : 0);
    }

    // A library whose store file was lost starts anew, and the user learns
    // where the files of its pictures were kept; an intact one says nothing.
    void warnsWhereTheFilesOfALostLibraryAreKept_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::newRow("store emptied") << true;
        QTest::newRow("store intact") << false;
    }

    void warnsWhereTheFilesOfALostLibraryAreKept()
    {
        QFETCH(bool, lost);
        QTemporaryDir folder;
        makeLibraryWithAFile(folder.path());
        if (lost)
            QVERIFY(QFile::resize(storePath(folder.path()), 0));
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        Recorder recorder;
        VeloranApp::Services services = recorder.services(defaults, accounts);
        services.makeContainer = [&] { return makeTestContainer(folder.path()); };
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(services);
        QVERIFY(app);
        const QString kept = app->container().keptExternalFolder();
        QCOMPARE(kept.isEmpty(), !lost);
        QCOMPARE(recorder.warnings, lost ? QStringList{VeloranApp::keptFilesMessage(kept)} : QStringList());
        if (lost)
            QVERIFY(recorder.warnings.first().contains(QStringLiteral("\u201C%1\u201D").arg(kept)));
    }

    // The warning comes at every start until the user has read it, also
    // after a start that ended before it could be read; read, it is done.
    void warnsUntilTheUserHasRead()
    {
        QTemporaryDir folder;
        QVERIFY(loseLibraryKeepingItsFile(folder.path()));
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        QString kept;
        // Read at the third start: the fourth says nothing.
        for (int start = 1; start <= 4; ++start) {
            Recorder recorder;
            VeloranApp::Services services = recorder.services(defaults, accounts);
            services.makeContainer = [&] { return makeTestContainer(folder.path()); };
            const std::unique_ptr<VeloranApp> app = VeloranApp::start(services);
            QVERIFY(app);
            if (start == 1)
                kept = app->container().keptExternalFolder();
            QVERIFY(QFileInfo(kept).isDir());
            QCOMPARE(recorder.warnings, start < 4 ? QStringList{VeloranApp::keptFilesMessage(kept)} : QStringList());
            if (start == 3) {
                QVERIFY(recorder.read);
                recorder.read();
            }
        }
        QVERIFY(QFileInfo(kept).isDir());
    }

    // On a display the warning is an alert: it counts as read once the
    // user has pressed its button, and not when the application quits
    // under it (a termination signal, as a session ending sends it), so
    // that the next start tells again.
    void theAlertCountsAsReadOnlyWhenAnswered_data()
    {
        QTest::addColumn<QString>("closed");
        QTest::addColumn<bool>("read");
        QTest::newRow("its button pressed") << "button" << true;
        QTest::newRow("Escape pressed") << "Escape" << true;
        QTest::newRow("the application quitting") << "quit" << false;
        QTest::newRow("a termination signal") << "signal" << false;
    }

    void theAlertCountsAsReadOnlyWhenAnswered()
    {
        QFETCH(QString, closed);
        QFETCH(bool, read);
        QTemporaryDir folder;
        QVERIFY(loseLibraryKeepingItsFile(folder.path()));
        if (closed == QLatin1String("signal"))
            quitOnTerminationSignals();
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        Recorder recorder;
        VeloranApp::Services services = recorder.services(defaults, accounts);
        services.makeContainer = [&] { return makeTestContainer(folder.path()); };
        services.reportWarning = &VeloranApp::warnUntilRead;
        std::unique_ptr<VeloranApp> app = VeloranApp::start(services);
        QVERIFY(app);
        const QString kept = app->container().keptExternalFolder();
        QVERIFY(!kept.isEmpty());

        // The alert comes up once the event loop runs.
        QString shown;
        QTimer alertUp;
        connect(&alertUp, &QTimer::timeout, this, [&] {
            auto *alert = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!alert || !alert->isVisible())
                return;
            alertUp.stop();
            shown = alert->text();
            if (closed == QLatin1String("quit")) {
                QCoreApplication::quit();
                return;
            }
            if (closed == QLatin1String("signal")) {
                ::raise(SIGTERM);
                return;
            }
            if (closed == QLatin1String("button"))
                QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
            else
                QTest::keyClick(alert, Qt::Key_Escape);
            // Answered: the application goes on until it quits.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        });
        alertUp.start(10);
        QTimer::singleShot(20000, QCoreApplication::instance(), [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(shown, VeloranApp::keptFilesMessage(kept));
        QCOMPARE(QFile::exists(ModelContainer::keptFilesNote(storePath(folder.path()))), !read);
        app.reset();

        // The next start tells again, unless the user has read it.
        recorder.warnings.clear();
        services.reportWarning = recorder.services(defaults, accounts).reportWarning;
        app = VeloranApp::start(services);
        QVERIFY(app);
        QCOMPARE(recorder.warnings, read ? QStringList() : QStringList{VeloranApp::keptFilesMessage(kept)});
        QVERIFY(QFileInfo(kept).isDir());
    }

    void quittingWaitsForTheWorkers_data()
    {
        QTest::addColumn<int>("pool");
        QTest::addColumn<bool>("processEnds"); // as the application quits
        QTest::newRow("decoding") << 0 << false;
        QTest::newRow("files") << 1 << false;
        QTest::newRow("computing") << 2 << false;
        QTest::newRow("files, process ending") << 1 << true;
        QTest::newRow("computing, process ending") << 2 << true;
    }

    // Work on the worker threads ends before the store closes. When the
    // process ends next, the library's objects are left to it: still whole.
    void quittingWaitsForTheWorkers()
    {
        QFETCH(int, pool);
        QFETCH(bool, processEnds);
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        Recorder recorder;
        std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts));
        QVERIFY(app);
        Series *series = app->container().mainContext().insert(Series::make(QStringLiteral("Knee")));
        // Shared with the work, which outlives the test should the
        // application not wait for it.
        const auto finished = std::make_shared<std::atomic<bool>>(false);
        QThreadPool *pools[] = {&WorkerPools::decoding(), &WorkerPools::files(), &WorkerPools::computing()};
        pools[pool]->start([finished] {
            QThread::msleep(150);
            *finished = true;
        });
        if (processEnds)
            app->willEndProcess();
        app.reset();
        QVERIFY(*finished);
        if (processEnds)
            QCOMPARE(series->title(), QStringLiteral("Knee"));
    }

    // The settings' file is written on the files pool: a value written as
    // the application quits is in the file once it has gone, the settings
    // themselves living on (as the application's do, until the process
    // ends), even behind other work on that pool.
    void quittingWritesTheSettings_data()
    {
        QTest::addColumn<bool>("processEnds");
        QTest::newRow("quitting") << false;
        QTest::newRow("process ending") << true;
    }
    void quittingWritesTheSettings()
    {
        QFETCH(bool, processEnds);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("defaults.ini"));
        auto defaults = std::make_unique<UserDefaults>(path);
        FakeCloudAccountService accounts;
        Recorder recorder;
        std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(*defaults, accounts));
        QVERIFY(app);
        QThreadPool &files = WorkerPools::files();
        for (int i = 0; i < files.maxThreadCount(); ++i)
            files.start([] { QThread::msleep(100); });
        defaults->setString(QStringLiteral("closed"), QStringLiteral("lastWindow"));
        if (processEnds)
            app->willEndProcess();
        app.reset();
        QCOMPARE(UserDefaults(path).stringForKey(QStringLiteral("lastWindow")),
                 std::optional<QString>(QStringLiteral("closed")));
    }

    // Quitting doesn't wait for the clearing of the temporary files a
    // process cut short left, held up here by another program writing the
    // library's files: it stops as the application ends, rather than
    // waiting for that program and then giving up; the library opens again
    // at once, and that opening clears them.
    void quittingStopsTheClearingOfLeftFiles()
    {
        QTemporaryDir folder;
        makeLibraryWithAFile(folder.path());
        const QDir files(externalFolderOf(folder.path()));
        const QString left = files.filePath(ExternalStorage::newFileName() + QStringLiteral(".tmp"));
        QVERIFY(QFile(left).open(QIODevice::WriteOnly));
        auto writer = std::make_unique<LibraryLock>();
        QCOMPARE(writer->tryLock(files.path()), LibraryLock::Outcome::locked);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("left temporary files are kept")));
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        Recorder recorder;
        VeloranApp::Services services = recorder.services(defaults, accounts);
        services.makeContainer = [&] { return makeTestContainer(folder.path()); };
        std::unique_ptr<VeloranApp> app = VeloranApp::start(services);
        QVERIFY(app);
        app.reset();
        QVERIFY(QFile::exists(left));
        writer.reset();
        const auto container = makeTestContainer(folder.path());
        WorkerPools::files().waitForDone();
        QVERIFY(!QFile::exists(left));
    }

    void testHostDetection_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty environment") << QStringList{} << false;
        QTest::newRow("configuration path") << QStringList{"XCTestConfigurationFilePath=/tmp/x"} << true;
        QTest::newRow("bundle path, empty value") << QStringList{"XCTestBundlePath="} << true;
        QTest::newRow("CI 1") << QStringList{"CI=1"} << true;
        QTest::newRow("CI true") << QStringList{"CI=true"} << true;
        QTest::newRow("CI TRUE") << QStringList{"CI=TRUE"} << true;
        QTest::newRow("CI 0") << QStringList{"CI=0"} << false;
        QTest::newRow("CI yes") << QStringList{"CI=yes"} << false;
        QTest::newRow("CI empty") << QStringList{"CI="} << false;
        QTest::newRow("CI with blank") << QStringList{"CI= true"} << false;
        QTest::newRow("unrelated") << QStringList{"HOME=/root", "XCTEST=1"} << false;
    }

    void testHostDetection()
    {
        QFETCH(QStringList, variables);
        QFETCH(bool, expected);
        QProcessEnvironment environment;
        for (const QString &variable : std::as_const(variables)) {
            const qsizetype equals = variable.indexOf(QLatin1Char('='));
            environment.insert(variable.left(equals), variable.mid(equals + 1));
        }
        QCOMPARE(ProcessInfo::isRunningTestsOrCI(environment), expected);
    }

    // Raised to the lower bound, then lowered to the upper one.
    void clampsToAClosedRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("expected");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double infinity = std::numeric_limits<double>::infinity();
        QTest::newRow("below") << -5.0 << 0.0 << 120.0 << 0.0;
        QTest::newRow("inside") << 42.0 << 0.0 << 120.0 << 42.0;
        QTest::newRow("above") << 123.0 << 0.0 << 120.0 << 120.0;
        QTest::newRow("the lower bound") << 1.0 << 1.0 << 45.0 << 1.0;
        QTest::newRow("the upper bound") << 45.0 << 1.0 << 45.0 << 45.0;
        QTest::newRow("a range of one value, below") << 3.0 << 17.0 << 17.0 << 17.0;
        QTest::newRow("a range of one value, above") << 30.0 << 17.0 << 17.0 << 17.0;
        QTest::newRow("fractions") << 0.25 << 0.5 << 0.75 << 0.5;
        QTest::newRow("infinite values") << infinity << 0.0 << 1.0 << 1.0;
        QTest::newRow("infinite bounds") << -1e300 << -infinity << infinity << -1e300;
        // The lower bound wins a tie: 0.0, not -0.0.
        QTest::newRow("negative zero") << -0.0 << 0.0 << 1.0 << 0.0;
        QTest::newRow("not a number") << nan << 0.0 << 1.0 << nan;
    }
    void clampsToAClosedRange()
    {
        QFETCH(double, value);
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(double, expected);
        const double result = clamped(value, ClosedRange<double>{lower, upper});
        QCOMPARE(result, expected);
        QCOMPARE(std::signbit(result), std::signbit(expected));
        QCOMPARE(std::isnan(result), std::isnan(expected));
        // Any comparable value: whole numbers, text.
        if (!std::isnan(value) && std::isfinite(value) && std::isfinite(lower) && std::isfinite(upper)) {
            const auto whole = [](double v) { return qint64(std::floor(v)); };
            QCOMPARE(clamped(whole(value), ClosedRange<qint64>{whole(lower), whole(upper)}),
                     std::clamp(whole(value), whole(lower), whole(upper)));
        }
        QCOMPARE(clamped(QStringLiteral("m"), ClosedRange<QString>{QStringLiteral("a"), QStringLiteral("k")}),
                 QStringLiteral("k"));
        QCOMPARE(clamped(QStringLiteral("b"), ClosedRange<QString>{QStringLiteral("c"), QStringLiteral("k")}),
                 QStringLiteral("c"));
        static_assert(clamped(7, ClosedRange<int>{0, 5}) == 5);
    }

    void configurationFollowsHostAndSetting()
    {
        const Schema schema(VeloranSchemaV1::versionedSchema());
        // A test host keeps the store in memory and never mirrors.
        ModelConfiguration test = makeModelConfiguration(schema, true, true);
        QVERIFY(test.isStoredInMemoryOnly);
        QCOMPARE(test.cloudKitDatabase, CloudKitDatabase::none());
        ModelConfiguration local = makeModelConfiguration(schema, false, false);
        QVERIFY(!local.isStoredInMemoryOnly && local.allowsSave);
        QCOMPARE(local.cloudKitDatabase, CloudKitDatabase::none());
        QVERIFY(local.storePath().endsWith(QStringLiteral("/default.store")));
        ModelConfiguration mirrored = makeModelConfiguration(schema, false, true);
        QVERIFY(!mirrored.isStoredInMemoryOnly);
        QCOMPARE(mirrored.cloudKitDatabase, CloudKitDatabase::privateDatabase(CloudSyncSettings::containerIdentifier()));
    }

    void containerUnderTestHostIsInMemory()
    {
        // CTest runs every test with CI=true.
        qputenv("CI", "true");
        auto first = makeModelContainer();
        auto second = makeModelContainer();
        QVERIFY(first->configurations().first().isStoredInMemoryOnly);
        QVERIFY(&first->mainContext() != &second->mainContext());
    }
};

QTEST_MAIN(VeloranAppTest)
#include "tst_veloranapp.moc"
