#include "platform/LargePages.h"

#include <QTest>

class LargePagesTest : public QObject {
    Q_OBJECT
private slots:
    void wish_data()
    {
        QTest::addColumn<QByteArray>("tunables");
        QTest::addColumn<bool>("tunablesSet");
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("expected"); // empty: starts as it is

        const QByteArray asked = "always [madvise] never";
        const QByteArray added = "glibc.malloc.hugetlb=1";
        QTest::newRow("unset") << QByteArray() << false << asked << QByteArray("2.36") << added;
        QTest::newRow("set but empty") << QByteArray() << true << asked << QByteArray("2.36") << added;
        QTest::newRow("beside the user's own")
            << QByteArray("glibc.malloc.arena_max=2") << true << asked << QByteArray("2.40")
            << QByteArray("glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1");
        QTest::newRow("already there") << QByteArray("glibc.malloc.hugetlb=1") << true << asked
                                       << QByteArray("2.36") << QByteArray();
        QTest::newRow("the user declined")
            << QByteArray("glibc.malloc.tcache_count=0:glibc.malloc.hugetlb=0") << true << asked
            << QByteArray("2.36") << QByteArray();
        QTest::newRow("a longer name is another tunable")
            << QByteArray("glibc.malloc.hugetlbx=1") << true << asked << QByteArray("2.36")
            << QByteArray("glibc.malloc.hugetlbx=1:glibc.malloc.hugetlb=1");
        QTest::newRow("every process gets them") << QByteArray() << false << QByteArray("[always] madvise never\n")
                                                 << QByteArray("2.36") << QByteArray();
        QTest::newRow("no process gets them") << QByteArray() << false << QByteArray("always madvise [never]\n")
                                              << QByteArray("2.36") << QByteArray();
        QTest::newRow("system unknown") << QByteArray() << false << QByteArray() << QByteArray("2.36")
                                        << QByteArray();
        QTest::newRow("library too old") << QByteArray() << false << asked << QByteArray("2.34") << QByteArray();
        QTest::newRow("first that knows it") << QByteArray() << false << asked << QByteArray("2.35") << added;
        QTest::newRow("next major version") << QByteArray() << false << asked << QByteArray("3.1") << added;
        QTest::newRow("version unreadable") << QByteArray() << false << asked << QByteArray("x") << QByteArray();
    }
    void wish()
    {
        QFETCH(QByteArray, tunables);
        QFETCH(bool, tunablesSet);
        QFETCH(QByteArray, system);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, expected);
        const std::optional<QByteArray> wished =
            tunablesWithLargePages(tunablesSet ? tunables.constData() : nullptr, system, version.constData());
        QCOMPARE(wished.value_or(QByteArray()), expected);
    }
};

QTEST_GUILESS_MAIN(LargePagesTest)
#include "tst_largepages.moc"
