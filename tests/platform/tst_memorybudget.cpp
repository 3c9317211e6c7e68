#include "platform/MemoryBudget.h"

#include <QFuture>
#include <QScopeGuard>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <list>

class MemoryBudgetTest : public QObject {
    Q_OBJECT
private slots:
    void takesWhatFits_data()
    {
        QTest::addColumn<qint64>("held");
        QTest::addColumn<int>("holders"); // the held bytes in grants as alike as can be
        QTest::addColumn<qint64>("asked");
        QTest::addColumn<bool>("fits");
        QTest::newRow("up to the total") << qint64(80) << 4 << qint64(20) << true;
        QTest::newRow("one byte more") << qint64(80) << 4 << qint64(21) << false;
        QTest::newRow("nothing asked") << qint64(100) << 5 << qint64(0) << true;
        QTest::newRow("nothing asked, beside large work") << qint64(100) << 1 << qint64(0) << true;
        // Work larger than the budget still runs, alone.
        QTest::newRow("more than all, alone") << qint64(0) << 0 << qint64(500) << true;
        QTest::newRow("more than all, beside another") << qint64(1) << 1 << qint64(500) << false;
        // More than a quarter of the budget runs alone, however much is free.
        QTest::newRow("a quarter beside another") << qint64(10) << 1 << qint64(25) << true;
        QTest::newRow("more than a quarter beside another") << qint64(10) << 1 << qint64(26) << false;
        QTest::newRow("beside more than a quarter") << qint64(26) << 1 << qint64(1) << false;
    }

    void takesWhatFits()
    {
        QFETCH(qint64, held);
        QFETCH(int, holders);
        QFETCH(qint64, asked);
        QFETCH(bool, fits);
        MemoryBudget budget(100);
        std::list<MemoryBudget::Grant> holding;
        for (int i = 0; i < holders; ++i)
            holding.push_back(budget.acquire(held / holders + (i < held % holders)));
        std::optional<MemoryBudget::Grant> grant = budget.tryAcquire(asked);
        QCOMPARE(grant.has_value(), fits);
        QCOMPARE(budget.inUse(), held + (fits ? asked : 0));
        grant.reset();
        holding.clear();
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
        // The worker goes before the budget, whatever fails below.
        const auto joined = qScopeGuard([&] {
            first.release();
            waiting.waitForFinished();
        });
        QTest::qWait(50);
        QVERIFY(!started);
        first.release();
        waiting.waitForFinished();
        QVERIFY(started);
        QCOMPARE(budget.inUse(), 0);
    }

    // Large work waiting for its turn to run alone is not passed by smaller
    // work asking after it; once it has run, the budget is whole again.
    void largeWorkWaitingGoesFirst()
    {
        MemoryBudget budget(100);
        std::optional<MemoryBudget::Grant> small = budget.acquire(10);
        std::atomic_bool started{false};
        QFuture<void> large = QtConcurrent::run([&] {
            MemoryBudget::Grant grant = budget.acquire(60);
            started = true;
            QTest::qSleep(20);
        });
        // The worker goes before the budget, whatever fails below.
        const auto joined = qScopeGuard([&] {
            small.reset();
            large.waitForFinished();
        });
        // Once the large work waits, smaller work asking after it waits too.
        QTRY_VERIFY(!budget.tryAcquire(10).has_value());
        QVERIFY(!started);
        small.reset();
        large.waitForFinished();
        QVERIFY(started);
        QCOMPARE(budget.inUse(), 0);
        QVERIFY(budget.tryAcquire(10).has_value());
        QVERIFY(budget.tryAcquire(60).has_value());
    }

    // Once large work has given its share back, small work runs side by
    // side again, however the large work got its turn.
    void smallWorkSharesAgainOnceLargeWorkHasGone_data()
    {
        QTest::addColumn<QString>("turn");
        QTest::newRow("taken at once") << QStringLiteral("acquire");
        QTest::newRow("tried") << QStringLiteral("try");
        QTest::newRow("after waiting for smaller work") << QStringLiteral("wait");
    }

    void smallWorkSharesAgainOnceLargeWorkHasGone()
    {
        QFETCH(QString, turn);
        MemoryBudget budget(100);
        if (turn == QLatin1String("acquire")) {
            const MemoryBudget::Grant large = budget.acquire(60);
            QCOMPARE(budget.inUse(), 60);
        } else if (turn == QLatin1String("try")) {
            QVERIFY(budget.tryAcquire(60).has_value());
        } else {
            std::optional<MemoryBudget::Grant> small = budget.acquire(10);
            QFuture<void> large = QtConcurrent::run([&] { const MemoryBudget::Grant grant = budget.acquire(60); });
            const auto joined = qScopeGuard([&] {
                small.reset();
                large.waitForFinished();
            });
            // Waiting: smaller work asking after it waits too.
            QTRY_VERIFY(!budget.tryAcquire(10).has_value());
        }
        QCOMPARE(budget.inUse(), 0);
        std::list<MemoryBudget::Grant> sideBySide;
        for (int i = 0; i < 4; ++i) {
            std::optional<MemoryBudget::Grant> grant = budget.tryAcquire(25);
            QVERIFY2(grant.has_value(), qPrintable(QStringLiteral("small work %1 waits").arg(i + 1)));
            sideBySide.push_back(std::move(*grant));
        }
        QCOMPARE(budget.inUse(), 100);
    }
};

QTEST_GUILESS_MAIN(MemoryBudgetTest)
#include "tst_memorybudget.moc"
