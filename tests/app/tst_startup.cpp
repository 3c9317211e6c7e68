#include "support/DeadProcessLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <signal.h>
#include <sys/resource.h>

namespace {

// The application as a user on this machine runs it: its library on disk,
// its folders under `home`.
QProcessEnvironment userEnvironment(const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("CI"));
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    environment.remove(QStringLiteral("XCTestBundlePath"));
    for (const char *name : {"DATA", "CONFIG", "CACHE", "RUNTIME"}) {
        const QString folder = home.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_%1_%2").arg(QLatin1String(name), name == QByteArray("RUNTIME") ? "DIR" : "HOME"),
                           folder);
    }
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

std::unique_ptr<QProcess> launch(const QTemporaryDir &home, const QStringList &arguments = {}, bool readErrors = false)
{
    auto app = std::make_unique<QProcess>();
    app->setProcessEnvironment(userEnvironment(home));
    if (!readErrors)
        app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app->start(QStringLiteral(VELORAN_APP_PATH), arguments);
    return app;
}

QStringList savedWindowIDs(const QTemporaryDir &home)
{
    const QSettings defaults(home.filePath(QStringLiteral("config/Veloran/Veloran/defaults.ini")), QSettings::IniFormat);
    QStringList ids;
    for (const QJsonValue &state : QJsonDocument::fromJson(defaults.value("mainWindowStates").toByteArray()).array())
        ids << state.toObject().value(QStringLiteral("id")).toString();
    return ids;
}

bool waitUntilListening(const QTemporaryDir &home)
{
    const QDir runtime(home.filePath(QStringLiteral("runtime")));
    return QTest::qWaitFor([&] { return !runtime.entryList({QStringLiteral("veloran-*.socket")}, QDir::System).isEmpty(); },
                           20000);
}

// Ends the application as the session does at logout.
bool terminate(QProcess &app)
{
    ::kill(pid_t(app.processId()), SIGTERM);
    return app.waitForFinished(20000) && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
}

// A library in `dataFolder` whose store file is empty and whose folder of
// files holds `picture`.
bool makeLostLibrary(const QString &dataFolder, QFile &picture)
{
    const QString files = QDir(dataFolder).filePath(QStringLiteral("default.store-external"));
    QFile empty(QDir(dataFolder).filePath(QStringLiteral("default.store")));
    picture.setFileName(QDir(files).filePath(QStringLiteral("0b7c1e52-8d4f-4a39-9a57-2f1d0c5e6a11")));
    const bool made = QDir().mkpath(files) && empty.open(QIODevice::WriteOnly) && picture.open(QIODevice::WriteOnly)
        && picture.write("picture") == 7;
    picture.close();
    return made;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void launchesWhileItRunsHandOverAndTabsAreSaved()
    {
        QTemporaryDir home;
        // A lock left by a process that died is taken over.
        const QString library = home.filePath(QStringLiteral("data/Veloran/Veloran"));
        QVERIFY(QDir().mkpath(library));
        QVERIFY(writeDeadProcessLock(QDir(library).filePath(QStringLiteral("veloran.lock")), "veloran"));
        const std::unique_ptr<QProcess> first = launch(home);
        QVERIFY(waitUntilListening(home));
        // A plain launch brings the running one forward and ends; one asking
        // for a new window gives it a new tab.
        for (const QStringList &arguments : {QStringList(), QStringList{QStringLiteral("--new-window")}}) {
            const std::unique_ptr<QProcess> second = launch(home, arguments);
            QVERIFY(second->waitForFinished(20000));
            QCOMPARE(second->exitStatus(), QProcess::NormalExit);
            QCOMPARE(second->exitCode(), 0);
            QCOMPARE(first->state(), QProcess::Running);
        }
        QVERIFY(terminate(*first));
        const QStringList tabs = savedWindowIDs(home);
        QCOMPARE(tabs.size(), 2);
        QCOMPARE(tabs.first(), tabs.first().toUpper());
    }

    // A launch that can't reach the running one (another runtime folder, as
    // on another machine sharing the library) is refused within about a
    // second, not after a long silence.
    void anUnreachableHolderIsReportedAtOnce()
    {
        QTemporaryDir home;
        const std::unique_ptr<QProcess> first = launch(home);
        QVERIFY(waitUntilListening(home));
        QTemporaryDir otherRuntime;
        QProcessEnvironment environment = userEnvironment(home);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
        QProcess second;
        second.setProcessEnvironment(environment);
        QElapsedTimer elapsed;
        elapsed.start();
        second.start(QStringLiteral(VELORAN_APP_PATH));
        QVERIFY(second.waitForFinished(20000));
        // A bound far above the second waited, far below the ten once waited.
        QVERIFY2(elapsed.elapsed() < 6000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(second.exitCode(), 1);
        const QString errors = QString::fromLocal8Bit(second.readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("is open in another process.")), qPrintable(errors));
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(terminate(*first));
    }

    void unopenableStoreStopsTheProcess()
    {
        QTemporaryDir home;
        // The user's data folder under XDG_DATA_HOME: <organisation>/<application>.
        const QString dataFolder = home.filePath(QStringLiteral("data/Veloran/Veloran"));
        QVERIFY(QDir().mkpath(dataFolder));
        const QString store = QDir(dataFolder).filePath(QStringLiteral("default.store"));
        const QByteArray damaged(4096, 'z');
        QFile file(store);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
        file.close();
        const std::unique_ptr<QProcess> app = launch(home, {}, true);
        if (!app->waitForFinished(20000)) {
            app->kill();
            QFAIL("the application kept running on a damaged store");
        }
        QCOMPARE(app->exitStatus(), QProcess::NormalExit);
        QVERIFY(app->exitCode() != 0);
        const QString errors = QString::fromLocal8Bit(app->readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("Failed to create ModelContainer: ")), qPrintable(errors));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), damaged);
    }

    // A library whose store file is empty starts anew; the files of its
    // pictures are kept aside and the user is told where.
    void lostStoreKeepsItsFilesAndSaysWhere()
    {
        QTemporaryDir home;
        const QString dataFolder = home.filePath(QStringLiteral("data/Veloran/Veloran"));
        QFile picture;
        QVERIFY(makeLostLibrary(dataFolder, picture));
        const std::unique_ptr<QProcess> app = launch(home, {}, true);
        QVERIFY(waitUntilListening(home));
        QVERIFY(terminate(*app));
        const QString errors = QString::fromLocal8Bit(app->readAllStandardError());
        const QStringList kept = QDir(dataFolder).entryList({QStringLiteral("default.store-external (kept *)")}, QDir::Dirs);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(errors.contains(QDir(dataFolder).filePath(kept.first())), qPrintable(errors));
        QVERIFY(QFile::exists(QDir(dataFolder).filePath(kept.first() + QStringLiteral("/") + QFileInfo(picture).fileName())));
    }

    // A start killed while it makes the new store of a lost one, after its
    // pictures were moved aside: the next start makes the store and tells
    // the user where they are; the one after, once told, says nothing.
    void aStartKilledWhileMakingTheStoreStillTells()
    {
        QTemporaryDir home;
        const QString dataFolder = home.filePath(QStringLiteral("data/Veloran/Veloran"));
        QFile picture;
        QVERIFY(makeLostLibrary(dataFolder, picture));
        {
            // Killed by its first write past one page of the store's.
            QProcess killed;
            killed.setProcessEnvironment(userEnvironment(home));
            killed.setChildProcessModifier([] {
                ::signal(SIGXFSZ, SIG_DFL);
                const rlimit limit{4096, 4096};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
            killed.start(QStringLiteral(VELORAN_APP_PATH));
            QVERIFY(killed.waitForFinished(20000));
            QCOMPARE(killed.exitStatus(), QProcess::CrashExit);
        }
        // Its socket is gone with it, as for any process that ended.
        QDir runtime(home.filePath(QStringLiteral("runtime")));
        for (const QString &socket : runtime.entryList({QStringLiteral("veloran-*.socket")}, QDir::System))
            QVERIFY(runtime.remove(socket));
        const QStringList kept = QDir(dataFolder).entryList({QStringLiteral("default.store-external (kept *)")}, QDir::Dirs);
        QCOMPARE(kept.size(), 1);
        for (const bool toldBefore : {false, true}) {
            const std::unique_ptr<QProcess> app = launch(home, {}, true);
            QVERIFY(waitUntilListening(home));
            QVERIFY(terminate(*app));
            const QString errors = QString::fromLocal8Bit(app->readAllStandardError());
            QVERIFY2(errors.contains(QDir(dataFolder).filePath(kept.first())) != toldBefore, qPrintable(errors));
        }
        QVERIFY(QFile::exists(QDir(dataFolder).filePath(kept.first() + QStringLiteral("/") + QFileInfo(picture).fileName())));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
