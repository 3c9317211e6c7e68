#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

// The application refuses to start on a store it cannot open, says why, and
// leaves the file alone.
class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void unopenableStoreStopsTheProcess()
    {
        QTemporaryDir home;
        // The user's data folder under XDG_DATA_HOME: <organisation>/<application>.
        const QString dataFolder = home.filePath(QStringLiteral("data/Veloran/Veloran"));
        QVERIFY(QDir().mkpath(dataFolder));
        const QString store = QDir(dataFolder).filePath(QStringLiteral("default.store"));
        QFile file(store);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'z'));
        file.close();
        const QByteArray before = fileHash(store);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("CI")); // on disk, as a user would run it
        environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
        environment.remove(QStringLiteral("XCTestBundlePath"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(VELORAN_APP_PATH), {});
        QVERIFY(app.waitForStarted(10000));
        if (!app.waitForFinished(20000)) {
            app.kill();
            QFAIL("the application kept running on a damaged store");
        }
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY(app.exitCode() != 0);
        const QString errors = QString::fromLocal8Bit(app.readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("Failed to create ModelContainer: ")), qPrintable(errors));
        QCOMPARE(fileHash(store), before);
        QVERIFY(QFile::exists(store));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
