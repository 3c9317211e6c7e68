#include "platform/updater/SUAppcast.h"
#include "platform/updater/SUVersionComparator.h"

#include <QTest>

class AppcastTest : public QObject {
    Q_OBJECT

private slots:
    void versionsCompareNumerically_data()
    {
        QTest::addColumn<QString>("older");
        QTest::addColumn<QString>("newer");
        QTest::newRow("two digits") << "1.9" << "1.10";
        QTest::newRow("longer") << "1.0" << "1.0.1";
        QTest::newRow("major") << "9.99" << "10.0";
        QTest::newRow("pre-release before release") << "2.1a3" << "2.1";
        QTest::newRow("alpha before beta") << "2.1a3" << "2.1b2";
        QTest::newRow("beta numbers") << "2.1b2" << "2.1b10";
        QTest::newRow("build numbers") << "99" << "100";
        QTest::newRow("huge numbers") << "1.99999999999999999999" << "1.100000000000000000000";
        QTest::newRow("release before patch") << "2.1" << "2.1.1";
    }

    void versionsCompareNumerically()
    {
        QFETCH(QString, older);
        QFETCH(QString, newer);
        QCOMPARE(SUVersionComparator::compareVersions(older, newer), -1);
        QCOMPARE(SUVersionComparator::compareVersions(newer, older), 1);
        QCOMPARE(SUVersionComparator::compareVersions(newer, newer), 0);
    }

    void equalVersions()
    {
        QCOMPARE(SUVersionComparator::compareVersions(QStringLiteral("1.0"), QStringLiteral("1.0.")), 0);
        QCOMPARE(SUVersionComparator::compareVersions(QStringLiteral("1.01"), QStringLiteral("1.1")), 0);
        QCOMPARE(SUVersionComparator::compareVersions(QString(), QString()), 0);
    }

    void parsesItemsWithChannelsAndEnclosures()
    {
        const QByteArray digest(64, 'a');
        const QByteArray xml =
            "<?xml version=\"1.0\"?>\n"
            "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
            " <channel>\n"
            "  <title>Veloran</title>\n"
            "  <item>\n"
            "   <title>Version 1.2</title>\n"
            "   <sparkle:version>12</sparkle:version>\n"
            "   <sparkle:shortVersionString>1.2</sparkle:shortVersionString>\n"
            "   <description>Fixes.</description>\n"
            "   <enclosure url=\"https://example.org/Veloran-1.2.tar.gz\" length=\"1234\""
            " type=\"application/octet-stream\" sparkle:sha256=\"" + digest + "\"/>\n"
            "  </item>\n"
            "  <item>\n"
            "   <title>Beta</title>\n"
            "   <sparkle:channel>beta</sparkle:channel>\n"
            "   <enclosure url=\"https://example.org/b.tar.gz\" sparkle:version=\"13\""
            " sparkle:shortVersionString=\"1.3b1\" sparkle:sha256=\"ABC\"/>\n"
            "  </item>\n"
            "  <item><title>Broken</title></item>\n"
            " </channel>\n"
            "</rss>\n";
        QString error;
        const auto appcast = SUAppcast::parse(xml, &error);
        QVERIFY2(appcast, qPrintable(error));
        QCOMPARE(appcast->items.size(), 3);
        const SUAppcastItem &first = appcast->items[0];
        QCOMPARE(first.title, QStringLiteral("Version 1.2"));
        QCOMPARE(first.versionString, QStringLiteral("12"));
        QCOMPARE(first.displayVersionString, QStringLiteral("1.2"));
        QVERIFY(!first.channel);
        QCOMPARE(first.fileURL, QUrl(QStringLiteral("https://example.org/Veloran-1.2.tar.gz")));
        QCOMPARE(first.contentLength, 1234);
        QCOMPARE(first.itemDescription, QStringLiteral("Fixes."));
        QVERIFY(first.isValid());
        const SUAppcastItem &beta = appcast->items[1];
        QCOMPARE(beta.channel, QStringLiteral("beta"));
        QCOMPARE(beta.versionString, QStringLiteral("13"));
        QCOMPARE(beta.displayVersionString, QStringLiteral("1.3b1"));
        QVERIFY(!beta.isValid()); // its digest is not a SHA-256
        QVERIFY(!appcast->items[2].isValid());
    }

    void rejectsMalformedFeeds_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("{\"items\": []}");
        QTest::newRow("unclosed") << QByteArray("<rss><channel><item><title>x</title></channel></rss>");
        QTest::newRow("not rss") << QByteArray("<feed><entry/></feed>");
        QTest::newRow("no channel") << QByteArray("<rss version=\"2.0\"></rss>");
        QTest::newRow("trailing garbage") << QByteArray("<rss><channel/></rss><x>");
    }

    void rejectsMalformedFeeds()
    {
        QFETCH(QByteArray, xml);
        QString error;
        QVERIFY(!SUAppcast::parse(xml, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(AppcastTest)
#include "tst_appcast.moc"
