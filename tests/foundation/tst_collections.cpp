#include "FoundationTestSupport.h"
#include "support/TestHttpServer.h"

#include "foundation/AttributedString.h"
#include "foundation/Collections.h"
#include "foundation/DataHelpers.h"
#include "foundation/Numbers.h"

#include <QJsonObject>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Suit { clubs, diamonds, hearts, spades };
constexpr std::array allSuits{Suit::clubs, Suit::diamonds, Suit::hearts, Suit::spades};

} // namespace

class CollectionsTest : public QObject {
    Q_OBJECT

private slots:
    void lists()
    {
        const QList<QString> xyx{"x", "y", "x"};
        QCOMPARE(elementsAndCounts(xyx), (QHash<QString, int>{{"x", 2}, {"y", 1}}));
        QCOMPARE(removingItems(QList<int>{1, 2, 2, 3}, {2}), (QList<int>{1, 3}));
        QList<int> twos{2, 1, 2};
        remove(twos, 2);
        QCOMPARE(twos, (QList<int>{1, 2}));
        const QList<QString> abc{"a", "b", "c"};
        QCOMPARE(itemAfter(abc, QString("a")), QString("b"));
        QCOMPARE(itemAfter(abc, QString("c")), std::nullopt);
        QCOMPARE(itemAfter(abc, QString("d")), std::nullopt);
        QCOMPARE(itemAfterWithWrapAround(abc, QString("c")), QString("a"));
        QCOMPARE(itemAfterWithWrapAround(abc, QString("d")), std::nullopt);
        QCOMPARE(safeIndexAfter(abc, 2), std::nullopt);
        QCOMPARE(indexAfterWithWrapAround(abc, 2), 0);
        QCOMPARE(nextCase(Suit::hearts, allSuits), Suit::spades);
        QCOMPARE(nextCase(Suit::spades, allSuits), Suit::clubs);
        const QList<URLQueryItem> query{{"a", std::nullopt}, {"b", "1"}, {"b", "2"}};
        QCOMPARE(queryItemValue(query, "b"), QString("1"));
        QCOMPARE(queryItemValue(query, "a"), std::nullopt);
        QCOMPARE(queryItemValue(query, "B"), std::nullopt);
        QVERIFY(bracketCharacters().contains(U'{') && !bracketCharacters().contains(U'a'));
        QVERIFY(nonBracketCharacters().contains(U'a') && !nonBracketCharacters().contains(U']'));
    }

    void bytes()
    {
        QCOMPARE(bytesString(QByteArray::fromHex("00ab10")), QStringLiteral("00ab10"));
        const QByteArray ten("0123456789");
        QCOMPARE(chunks(ten, 4), (QList<QByteArray>{"0123", "4567", "89"}));
        QCOMPARE(chunks(ten.left(8), 4), (QList<QByteArray>{"0123", "4567"}));
        QCOMPARE(chunks(ten, 0), QList<QByteArray>{ten}); // no division by zero, nothing lost
        QCOMPARE(chunks(QByteArray(), 4), QList<QByteArray>());
        QCOMPARE(combineChunks(chunks(ten, 3)), ten);
        QCOMPARE(toJSON(R"({"a": 1})")->value("a").toInt(), 1);
        QVERIFY(!toJSON("[1]") && !toJSON("3") && !toJSON("{"));
    }

    void aFileThatCannotBeWrittenIsLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(FileError, append("x", QUrl::fromLocalFile(dir.filePath("no/such/folder.txt"))));
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString path = dir.filePath(QStringLiteral("read-only.txt"));
        writeFile(path, "kept");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        {
            const UnprivilegedFileAccess unprivileged;
            QVERIFY_THROWS_EXCEPTION(FileError, append("new", QUrl::fromLocalFile(path)));
        }
        QCOMPARE(readFile(path), QByteArray("kept"));
    }

    void rounding_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("step");
        QTest::addColumn<double>("expected");
        QTest::newRow("down") << 12.0 << qint64(5) << 10.0;
        QTest::newRow("up") << 13.0 << qint64(5) << 15.0;
        QTest::newRow("half away from zero") << 25.0 << qint64(10) << 30.0;
        QTest::newRow("negative half") << -25.0 << qint64(10) << -30.0;
        QTest::newRow("fraction dropped first") << 12.7 << qint64(5) << 10.0;
        QTest::newRow("negative fraction dropped first") << -12.7 << qint64(5) << -10.0;
        QTest::newRow("half of a step in the fraction") << 12.5 << qint64(5) << 10.0;
        QTest::newRow("fraction dropped, then half away from zero") << 25.9 << qint64(10) << 30.0;
        QTest::newRow("step 0 keeps the value") << 12.7 << qint64(0) << 12.7;
    }

    void rounding()
    {
        QFETCH(double, value);
        QFETCH(qint64, step);
        QFETCH(double, expected);
        QCOMPARE(roundToNearest(value, step), expected);
        if (value == std::trunc(value) || step == 0)
            QCOMPARE(double(roundToNearest(qint64(value), step)), std::trunc(expected));
    }

    void numbers()
    {
        QCOMPARE(roundToNearest(std::numeric_limits<qint64>::max(), qint64(10)), std::numeric_limits<qint64>::max());
        QCOMPARE(rounded(1.005, 2), 1.0);
        QCOMPARE(rounded(1234.5, -2), 1200.0);
        QCOMPARE(rounded(1.5, 400), 1.5);
        QCOMPARE(rounded(1.5, -400), 0.0);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QCOMPARE(stringSuppressingTrailingZero(1234.5), QStringLiteral("1,234.5"));
        QCOMPARE(stringSuppressingTrailingZero(2.0), QStringLiteral("2"));
        QCOMPARE(stringSuppressingTrailingZero(0.125), QStringLiteral("0.12")); // halves to even
        QCOMPARE(singular(1, "image", "images"), QStringLiteral("image"));
        QCOMPARE(singular(0, "image", "images"), QStringLiteral("images"));
        QCOMPARE(orEmpty(std::nullopt), QString());
        QCOMPARE(orNil(std::nullopt), QStringLiteral("nil"));
        QCOMPARE(orNil(QStringLiteral("x")), QStringLiteral("x"));
    }

    void joiningAttributedStrings()
    {
        const QVariantMap bold{{"bold", true}};
        const AttributedString joinedText = joined({AttributedString(), AttributedString("a", bold), AttributedString("b"),
                                                   AttributedString("c", bold)},
                                                  QStringLiteral(", "));
        QCOMPARE(joinedText.string, QStringLiteral("a, b, c"));
        QCOMPARE(joinedText.runs, (QList<AttributedString::Run>{{0, 1, bold}, {6, 1, bold}}));
        QCOMPARE(joined({}, AttributedString(", ")), AttributedString());
    }

    void cachedLoading_data()
    {
        QTest::addColumn<bool>("cacheExists");
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QByteArray>("cacheAfter");
        QTest::newRow("the cache first") << true << false << QStringList{"/good"} << QByteArray("cached")
                                         << QByteArray("cached");
        QTest::newRow("refresh reads the sources") << true << true << QStringList{"/good"} << QByteArray("fresh")
                                                   << QByteArray("fresh");
        QTest::newRow("a missing cache is written") << false << false << QStringList{"/empty", "/good"}
                                                    << QByteArray("fresh") << QByteArray("fresh");
        QTest::newRow("an error page is not content") << true << true << QStringList{"/missing", "/failing"}
                                                      << QByteArray() << QByteArray("cached");
        QTest::newRow("a local source") << false << true << QStringList{"file"} << QByteArray("local")
                                        << QByteArray("local");
    }

    void cachedLoading()
    {
        QFETCH(bool, cacheExists);
        QFETCH(bool, refresh);
        QFETCH(QStringList, sources);
        QFETCH(QByteArray, result);
        QFETCH(QByteArray, cacheAfter);
        TestHttpServer server;
        server.serve("/good", "fresh");
        server.serve("/empty", "");
        server.route("/failing", [](const TestHttpRequest &) { return TestHttpResponse::error(500); });
        QTemporaryDir dir;
        const QString cache = dir.filePath(QStringLiteral("cache.json"));
        if (cacheExists)
            writeFile(cache, "cached");
        writeFile(dir.filePath(QStringLiteral("file")), "local");
        QList<QUrl> urls;
        for (const QString &source : sources)
            urls << (source.startsWith(u'/') ? server.url(source) : QUrl::fromLocalFile(dir.filePath(source)));
        QFuture<std::optional<QByteArray>> loading = dataCachedAt(QUrl::fromLocalFile(cache), urls, refresh);
        QTRY_VERIFY(loading.isFinished());
        QCOMPARE(loading.result().value_or(QByteArray()), result);
        QCOMPARE(readFile(cache), cacheAfter);
        QCOMPARE(server.requestsFor("/good").size(), result == "fresh" ? 1 : 0);
    }

    void fileRequests()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("page.html")), "<p>hello</p>");
        const QUrl page = QUrl::fromLocalFile(dir.filePath(QStringLiteral("page.html")));
        QFuture<URLResponse> loading = getData(page);
        QTRY_VERIFY(loading.isFinished());
        const URLResponse response = loading.result();
        QCOMPARE(response.data, QByteArray("<p>hello</p>"));
        QCOMPARE(response.url, page);
        QCOMPARE(response.mimeType, QStringLiteral("text/html"));
        QCOMPARE(response.expectedContentLength, 12);
        QCOMPARE(response.statusCode, 0); // a file has no HTTP status
        QVERIFY(response.headers.isEmpty());

        QFuture<URLResponse> missing = getData(QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.html"))));
        QTRY_VERIFY(missing.isFinished());
        QVERIFY_THROWS_EXCEPTION(URLError, missing.result());
    }

    void requests()
    {
        TestHttpServer server;
        server.serve("/page", "hello");
        QFuture<URLResponse> page = getData(server.url("/page"));
        QTRY_VERIFY(page.isFinished());
        QCOMPARE(page.result().data, QByteArray("hello"));
        QFuture<URLResponse> missing = getData(server.url("/nothing"));
        QTRY_VERIFY(missing.isFinished());
        QCOMPARE(missing.result().statusCode, 404);
        server.route("/typed", [](const TestHttpRequest &) {
            return TestHttpResponse{200, "{}", {{"Content-Type", "application/json; charset=utf-8"}, {"X-Kind", "test"}}, false};
        });
        QFuture<URLResponse> typed = getData(server.url("/typed"));
        QTRY_VERIFY(typed.isFinished());
        QCOMPARE(typed.result().mimeType, QStringLiteral("application/json"));
        QCOMPARE(typed.result().header("x-kind"), QByteArray("test"));
        QCOMPARE(typed.result().expectedContentLength, 2);
        QCOMPARE(typed.result().url, server.url("/typed"));
        QString error;
        QVERIFY(!contentsOfURL(server.url("/nothing"), &error));
        QVERIFY(error.contains(QStringLiteral("404")));
        QVERIFY(!contentsOfURL(QUrl(QStringLiteral("ftp://example.org/x")), &error));
    }
};

QTEST_GUILESS_MAIN(CollectionsTest)
#include "tst_collections.moc"
