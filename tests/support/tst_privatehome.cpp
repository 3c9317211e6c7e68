#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using Location = std::function<QString()>;

// Every test program writes what it keeps for the user into a home of its
// own, so that runs of the tests at once never meet: made private in the
// temporary folder before the program starts, removed as it ends.
class PrivateHomeTest : public QObject {
    Q_OBJECT
private slots:
    void theHomeIsPrivateToThisProgram()
    {
        const QString home = QDir::homePath();
        QCOMPARE(qEnvironmentVariable("HOME"), home);
        // Named for the programs a test starts, which run in it.
        QCOMPARE(qEnvironmentVariable("VELORAN_TEST_HOME"), home);
        QVERIFY2(QFileInfo(home).fileName().startsWith(QStringLiteral("veloran-test-")), qPrintable(home));
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(home).constData(), &info) == 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_mode & 0777, mode_t(0700));
        QCOMPARE(info.st_uid, ::getuid());
        const passwd *user = ::getpwuid(::getuid());
        QVERIFY(user);
        QVERIFY(home != QDir(QString::fromLocal8Bit(user->pw_dir)).absolutePath());
    }

    void everyFolderOfTheUserIsInIt_data()
    {
        QTest::addColumn<Location>("location");
        const auto standard = [](QStandardPaths::StandardLocation location) {
            return Location([location] { return QStandardPaths::writableLocation(location); });
        };
        QTest::newRow("data") << standard(QStandardPaths::GenericDataLocation);
        QTest::newRow("application data") << standard(QStandardPaths::AppDataLocation);
        QTest::newRow("settings") << standard(QStandardPaths::GenericConfigLocation);
        QTest::newRow("cache") << standard(QStandardPaths::GenericCacheLocation);
        QTest::newRow("runtime") << standard(QStandardPaths::RuntimeLocation);
        QTest::newRow("state") << Location([] { return qEnvironmentVariable("XDG_STATE_HOME"); });
        QTest::newRow("temporary") << Location([] { return QDir::tempPath(); });
        QTest::newRow("cache in Qt's test mode") << Location([] {
            QStandardPaths::setTestModeEnabled(true);
            const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
            QStandardPaths::setTestModeEnabled(false);
            return cache;
        });
    }
    void everyFolderOfTheUserIsInIt()
    {
        QFETCH(Location, location);
        const QString folder = location();
        QVERIFY2(folder.startsWith(QDir::homePath() + QLatin1Char('/')), qPrintable(folder));
    }

    // A program started afresh gets a home of its own, which goes as it
    // ends: all of it, folders made read-only too, but not what a link in it
    // leads to, and not when a child forked from it ends. One that a test
    // starts runs in the test's home and leaves it.
    void eachProgramHasItsOwnAndRemovesIt_data()
    {
        QTest::addColumn<bool>("startedByATest");
        QTest::newRow("started afresh") << false;
        QTest::newRow("started by a test") << true;
    }
    void eachProgramHasItsOwnAndRemovesIt()
    {
        QFETCH(bool, startedByATest);
        QTemporaryDir outside;
        QVERIFY(outside.isValid());
        const QString kept = outside.filePath(QStringLiteral("kept"));
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("the user's") == 10);
        file.close();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!startedByATest) // as ctest starts it
            environment.remove(QStringLiteral("VELORAN_TEST_HOME"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(PRIVATEHOME_CHILD_PATH), {outside.path()});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QString childHome = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
        QVERIFY(QFileInfo(childHome).fileName().startsWith(QStringLiteral("veloran-test-")));
        if (startedByATest) {
            QCOMPARE(childHome, QDir::homePath());
            QVERIFY(QFileInfo(childHome).isDir());
        } else {
            QVERIFY(childHome != QDir::homePath());
            QVERIFY2(!QFileInfo::exists(childHome), qPrintable(childHome + QStringLiteral(" was left behind")));
        }
        QVERIFY(QFile::exists(kept));
    }
};

QTEST_GUILESS_MAIN(PrivateHomeTest)
#include "tst_privatehome.moc"
