#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <csignal>

class TerminationSignalsTest : public QObject {
    Q_OBJECT
private slots:
    // A request to end that comes while the application starts, and is
    // taken by a loop of the start-up's own, still ends the event loop that
    // runs after it.
    void aRequestDuringStartUpEndsTheLoop()
    {
        quitOnTerminationSignals();
        QVERIFY(!terminationRequested());
        QVERIFY(::raise(SIGTERM) == 0); // handled: the process goes on
        QEventLoop startUp;
        QTimer::singleShot(100, &startUp, &QEventLoop::quit);
        startUp.exec();
        QVERIFY(terminationRequested());

        // As the application's entry point does before its event loop.
        if (terminationRequested())
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        QTimer::singleShot(10000, QCoreApplication::instance(), [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "tst_terminationsignals.moc"
