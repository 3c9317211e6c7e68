#include "platform/Date.h"

#include <QTest>

class DateTest : public QObject {
    Q_OBJECT
private slots:
    void referenceDateIsTheStartOf2001()
    {
        const Date reference{0};
        QCOMPARE(reference.toDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(Date::fromDateTime(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC)).secondsSinceReferenceDate,
                 -978307200.0);
    }

    void nowKeepsSubMillisecondPrecisionAndOrders()
    {
        const Date a = Date::now();
        const Date b = a.addingSeconds(0.0004);
        QVERIFY(a < b);
        QVERIFY(b.secondsSinceReferenceDate - a.secondsSinceReferenceDate < 0.001);
        QVERIFY(qAbs(a.toDateTime().toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch()) < 5000);
    }
};

QTEST_GUILESS_MAIN(DateTest)
#include "tst_date.moc"
