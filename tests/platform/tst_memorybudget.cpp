#include "platform/MemoryBudget.h"

#include <QFuture>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

class MemoryBudgetTest : public QObject {
    Q_OBJECT
private slots:
    void takesWhatFits_data()
    {
        QTest::addColumn<qint64>("held");
        QTest::addColumn<qint64>("asked");
        QTest::addColumn<bool>("fits");
        QTest::newRow("up to the total") << qint64(60) << qint64(40) << true;
        QTest::newRow("one byte more") << qint64(60) << qint64(41) << false;
        QTest::newRow("nothing asked") << qint64(100) << qint64(0) << true;
        // Work larger than the budget still runs, alone.
        QTest::newRow("more than all, alone") << qint64(0) << qint64(500) << true;
        QTest::newRow("more than all, beside another") << qint64(1) << qint64(500) << false;
    }

    void takesWhatFits()
    {
        QFETCH(qint64, held);
        QFETCH(qint64, asked);
        QFETCH(bool, fits);
        MemoryBudget budget(100);
        std::optional<MemoryBudget::Grant> holding;
        if (held > 0)
            holding = budget.acquire(held);
        std::optional<MemoryBudget::Grant> grant = budget.tryAcquire(asked);
        QCOMPARE(grant.has_value(), fits);
        QCOMPARE(budget.inUse(), held + (fits ? asked : 0));
        grant.reset();
        holding.reset();
        QCOMPARE(budget.inUse(), 0);
    }

    void aWaitingDecodeStartsOnceOthersGiveBack()
    {
        MemoryBudget budget(100);
        MemoryBudget::Grant first = budget.acquire(80);
        std::atomic_bool started{false};
        QFuture<void> waiting = QtConcurrent::run([&] {
            MemoryBudget::Grant second = budget.acquire(50);
            started = true;
        });
        QTest::qWait(50);
        QVERIFY(!started);
        first.release();
        waiting.waitForFinished();
        QVERIFY(started);
        QCOMPARE(budget.inUse(), 0);
    }
};

QTEST_GUILESS_MAIN(MemoryBudgetTest)
#include "tst_memorybudget.moc"
