#include "viewer/CalloutLayout.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

bool near(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > 1e-9)
            return false;
    }
    return true;
}

QByteArray text(const QList<double> &values)
{
    QStringList parts;
    for (double value : values)
        parts.append(QString::number(value));
    return parts.join(", ").toUtf8();
}

} // namespace

class CalloutLayoutTest : public QObject {
    Q_OBJECT
private slots:
    // Spacing 24 between bounds 24 and 576 throughout.
    void examples_data()
    {
        QTest::addColumn<QList<double>>("desired");
        QTest::addColumn<QList<double>>("placed");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("empty") << QList<double>() << QList<double>();
        QTest::newRow("below") << QList<double>{5} << QList<double>{24};
        QTest::newRow("inside") << QList<double>{300} << QList<double>{300};
        QTest::newRow("above") << QList<double>{590} << QList<double>{576};
        QTest::newRow("equal pair") << QList<double>{100, 100} << QList<double>{88, 112};
        QTest::newRow("unsorted triple") << QList<double>{300, 310, 305} << QList<double>{281, 329, 305};
        QTest::newRow("merge two") << QList<double>{50, 60, 200} << QList<double>{43, 67, 200};
        QTest::newRow("merged and shifted") << QList<double>{10, 12, 14} << QList<double>{24, 48, 72};
        // The stack reaches past both bounds: held inside them at the spacing.
        QTest::newRow("both ends") << QList<double>{5, 595} << QList<double>{24, 576};
        QTest::newRow("both ends, three") << QList<double>{595, 5, 300} << QList<double>{576, 24, 281};
        QTest::newRow("four equal") << QList<double>{300, 300, 300, 300} << QList<double>{264, 288, 312, 336};
        QTest::newRow("not finite") << QList<double>{std::nan(""), inf, -inf, 300}
                                    << QList<double>{24, 576, 48, 300};
    }
    void examples()
    {
        QFETCH(QList<double>, desired);
        QFETCH(QList<double>, placed);
        const QList<double> result = CalloutLayout::spread(desired, 24, 24, 576);
        QVERIFY2(near(result, placed), text(result));
    }

    void tooManySpreadEvenly()
    {
        QList<double> desired;
        for (int i = 0; i < 30; ++i)
            desired.append(i % 2 ? 500.0 - i : 100.0 + i);
        const QList<double> result = CalloutLayout::spread(desired, 24, 24, 576);
        QList<qsizetype> order(desired.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return desired[a] < desired[b]; });
        for (int k = 0; k < 30; ++k)
            QVERIFY(std::abs(result[order[k]] - (24 + k * 552.0 / 29)) < 1e-9);
        QCOMPARE(CalloutLayout::evenlySpaced(1, 24, 576), QList<double>{300});
    }

    void mergeKeepsEqualMeansApart()
    {
        // Adjusted positions 0 and 0: equal means stay two blocks.
        QCOMPARE(CalloutLayout::mergedSlots({0, 24}, 24), QList<double>({0, 24}));
    }

    void randomisedProperties()
    {
        QRandomGenerator random(20240611);
        for (int round = 0; round < 2000; ++round) {
            const int n = random.bounded(0, 40);
            const double spacing = random.bounded(1, 40);
            const double lower = random.bounded(-100, 100);
            const double upper = lower + random.bounded(0, 800);
            QList<double> desired;
            for (int i = 0; i < n; ++i) {
                // Some repeats, some far outside the bounds.
                desired.append(i > 0 && random.bounded(5) == 0 ? desired[random.bounded(i)]
                                                               : lower - 300 + random.generateDouble() * (upper - lower + 600));
            }
            const QList<double> result = CalloutLayout::spread(desired, spacing, lower, upper);
            QCOMPARE(result.size(), desired.size());
            QList<qsizetype> order(n);
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return desired[a] < desired[b]; });
            const bool fits = spacing * (n - 1) <= upper - lower;
            for (qsizetype k = 0; k < n; ++k) {
                const double at = result[order[k]];
                QVERIFY2(at >= lower - 1e-9 && at <= upper + 1e-9, qPrintable(QString("round %1").arg(round)));
                if (k > 0) {
                    const double gap = at - result[order[k - 1]];
                    QVERIFY2(gap >= (fits ? spacing : 0) - 1e-9, qPrintable(QString("round %1").arg(round)));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(CalloutLayoutTest)
#include "tst_calloutlayout.moc"
