#include "platform/LibraryLock.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The library's lock goes with this process alone: a program it starts
// while it holds the library (the mail program or file manager of Share)
// does not keep the library locked once this process lets go.
class LibraryLockTest : public QObject {
    Q_OBJECT
private slots:
    void programsStartedMeanwhileDoNotKeepTheLock_data()
    {
        QTest::addColumn<bool>("detached");
        QTest::newRow("a child") << false;
        QTest::newRow("a detached program, as Share starts them") << true;
    }

    void programsStartedMeanwhileDoNotKeepTheLock()
    {
        QFETCH(bool, detached);
        QTemporaryDir library;
        LibraryLock lock;
        QCOMPARE(lock.tryLock(library.path()), LibraryLock::Outcome::locked);
        QProcess child;
        qint64 pid = 0;
        if (detached) {
            QVERIFY(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("5")}, QString(), &pid));
        } else {
            child.start(QStringLiteral("sleep"), {QStringLiteral("5")});
            QVERIFY(child.waitForStarted());
            pid = child.processId();
        }
        const auto stop = qScopeGuard([&] {
            ::kill(pid_t(pid), SIGKILL);
            if (!detached)
                child.waitForFinished();
        });
        LibraryLock other;
        QCOMPARE(other.tryLock(library.path()), LibraryLock::Outcome::heldElsewhere);
        lock.unlock();
        QCOMPARE(other.tryLock(library.path()), LibraryLock::Outcome::locked);
        QCOMPARE(::kill(pid_t(pid), 0), 0); // the program still runs
    }
};

QTEST_GUILESS_MAIN(LibraryLockTest)
#include "tst_librarylock.moc"
