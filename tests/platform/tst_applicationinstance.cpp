#include "platform/ApplicationInstance.h"
#include "support/DeadProcessLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

// One process per library, in one process: what a launch asks for, and the
// library's lock. Two real processes meet in tests/app.
class ApplicationInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The socket goes in the runtime folder: a private one here.
        static QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }

    void launchesAskForAWindowOrToComeForward_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ApplicationInstance::Request>("request");
        QTest::newRow("plain") << QStringList{"veloran"} << ApplicationInstance::Request::activate;
        QTest::newRow("new window") << QStringList{"veloran", "--new-window"} << ApplicationInstance::Request::newWindow;
        QTest::newRow("program's own name") << QStringList{"--new-window"} << ApplicationInstance::Request::activate;
        QTest::newRow("other") << QStringList{"veloran", "--new"} << ApplicationInstance::Request::activate;
    }
    void launchesAskForAWindowOrToComeForward()
    {
        QFETCH(QStringList, arguments);
        QFETCH(ApplicationInstance::Request, request);
        QCOMPARE(ApplicationInstance::requestFromArguments(arguments), request);
    }

    void aDeadProcessesLockIsTakenOver()
    {
        QTemporaryDir library;
        ApplicationInstance instance(library.filePath(QStringLiteral("Veloran")));
        QVERIFY(writeDeadProcessLock(instance.lockFilePath(), QCoreApplication::applicationName().toUtf8()));

        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(500)),
                 ApplicationInstance::Role::primary);
        qint64 pid = 0;
        QVERIFY(QLockFile(instance.lockFilePath()).getLockInfo(&pid, nullptr, nullptr));
        QCOMPARE(pid, QCoreApplication::applicationPid());
        QVERIFY(QFileInfo(instance.serverName()).exists());
    }

    void aLiveHolderThatDoesntAnswerIsWaitedForThenReported()
    {
        QTemporaryDir library;
        ApplicationInstance instance(library.path());
        QLockFile held(instance.lockFilePath());
        QVERIFY(held.tryLock(0));
        QCOMPARE(instance.start(ApplicationInstance::Request::newWindow, std::chrono::milliseconds(300)),
                 ApplicationInstance::Role::failed);
        QCOMPARE(instance.errorString(), QStringLiteral("Veloran is already running on this library but doesn\u2019t answer."));
        // Once it lets go, the library is this process's.
        held.unlock();
        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(300)),
                 ApplicationInstance::Role::primary);
    }
};

QTEST_GUILESS_MAIN(ApplicationInstanceTest)
#include "tst_applicationinstance.moc"
