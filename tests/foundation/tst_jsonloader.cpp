#include "FoundationTestSupport.h"

#include "foundation/JSONLoader.h"
#include "platform/Result.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

// A small decodable value: {"x": 1, "yValue": 2}.
// The thread that decoded the last point.
QThread *decodingThread = nullptr;

struct Point {
    int x = 0;
    int yValue = 0;
    static Result<Point, QString> fromJson(const QJsonValue &json)
    {
        decodingThread = QThread::currentThread();
        const QJsonObject object = json.toObject();
        if (!object.value("x").isDouble() || !object.value("yValue").isDouble())
            return QStringLiteral("not a point");
        return Point{object.value("x").toInt(), object.value("yValue").toInt()};
    }
};

enum class Source {
    bytes,
    file,
    missingFile,
    resource,
    resourceWithExtension,
    missingResource,
    missingResourceFolder,
    bundleWithoutResources,
    cacheWithoutCopies,
    cachedCopy,
};

} // namespace

// The bundle's resources, the application's and this test's, taken out of
// the program for the life of this object.
struct WithoutResources {
    WithoutResources()
    {
        Q_CLEANUP_RESOURCE(jsonloader_fixtures);
        Q_CLEANUP_RESOURCE(veloran_bundle);
    }
    ~WithoutResources()
    {
        Q_INIT_RESOURCE(veloran_bundle);
        Q_INIT_RESOURCE(jsonloader_fixtures);
    }
};

class JSONLoaderTest : public QObject {
    Q_OBJECT

private slots:
    void loading_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("snakeCase");
        QTest::addColumn<int>("failure"); // -1: a point (1, 2)
        QTest::addColumn<QString>("logged");
        const QByteArray snake = "{\"x\": 1, \"y_value\": 2}";
        QTest::newRow("bytes") << Source::bytes << snake << true << -1 << "";
        QTest::newRow("snake case needs the strategy") << Source::bytes << snake << false
                                                       << int(JSONLoadingError::failedDecoding)
                                                       << "Couldn't load/parse JSON: not a point";
        QTest::newRow("not JSON") << Source::bytes << QByteArray("{x") << true << int(JSONLoadingError::failedDecoding)
                                  << "Couldn't load/parse JSON: ";
        QTest::newRow("a file") << Source::file << snake << true << -1 << "";
        QTest::newRow("a missing file fails decoding") << Source::missingFile << QByteArray() << true
                                                       << int(JSONLoadingError::failedDecoding)
                                                       << "Couldn't load/parse JSON from file://";
        QTest::newRow("a resource gets the extension") << Source::resource << QByteArray() << true << -1 << "";
        QTest::newRow("a resource named with its extension") << Source::resourceWithExtension << QByteArray() << true
                                                             << -1 << "";
        // A resource the bundle lacks is loaded as any URL is; only a bundle
        // without resources is not found.
        QTest::newRow("a missing resource") << Source::missingResource << QByteArray() << true
                                            << int(JSONLoadingError::failedDecoding)
                                            << "Couldn't load/parse JSON from qrc:/veloran/fixtures/absent.json: ";
        QTest::newRow("a missing resource folder") << Source::missingResourceFolder << QByteArray() << true
                                                   << int(JSONLoadingError::failedDecoding)
                                                   << "Couldn't load/parse JSON from qrc:/veloran/nowhere/point.json: ";
        QTest::newRow("a bundle without resources") << Source::bundleWithoutResources << QByteArray() << true
                                                    << int(JSONLoadingError::fileNotFound)
                                                    << "Couldn't find fixtures in bundle";
        QTest::newRow("a cached copy") << Source::cachedCopy << snake << true << -1 << "";
        QTest::newRow("a cached copy of the wrong shape") << Source::cachedCopy << QByteArray("[1]") << true
                                                          << int(JSONLoadingError::failedDecoding)
                                                          << "Couldn't load/parse JSON: not a point";
        QTest::newRow("no cache and no copies") << Source::cacheWithoutCopies << QByteArray() << true
                                                << int(JSONLoadingError::fileNotFound) << "";
    }

    void loading()
    {
        QFETCH(Source, source);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, snakeCase);
        QFETCH(int, failure);
        QFETCH(QString, logged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("point.json"));
        if (source == Source::file)
            writeFile(path, bytes);
        const auto strategy = snakeCase ? std::optional(KeyDecodingStrategy::convertFromSnakeCase) : std::nullopt;
        const JSONLoader loader;
        const LogCapture log;
        decodingThread = nullptr;
        QFuture<Point> loading;
        std::optional<WithoutResources> withoutResources;
        switch (source) {
        case Source::bytes:
            loading = loader.load<Point>(bytes, strategy);
            break;
        case Source::file:
        case Source::missingFile:
            loading = loader.load<Point>(QUrl::fromLocalFile(path), strategy);
            break;
        case Source::resource:
            loading = loader.load<Point>(QStringLiteral("point"), QStringLiteral("fixtures"), QStringLiteral("json"), strategy);
            break;
        case Source::resourceWithExtension:
            loading = loader.load<Point>(QStringLiteral("point.json"), QStringLiteral("fixtures"), QStringLiteral("txt"), strategy);
            break;
        case Source::missingResource:
            loading = loader.load<Point>(QStringLiteral("absent"), QStringLiteral("fixtures"), QStringLiteral("json"), strategy);
            break;
        case Source::missingResourceFolder:
            loading = loader.load<Point>(QStringLiteral("point"), QStringLiteral("nowhere"), QStringLiteral("json"), strategy);
            break;
        case Source::bundleWithoutResources:
            withoutResources.emplace();
            loading = loader.load<Point>(QStringLiteral("point"), QStringLiteral("fixtures"), QStringLiteral("json"), strategy);
            break;
        case Source::cacheWithoutCopies:
            loading = loader.load<Point>(QUrl::fromLocalFile(path), {QUrl::fromLocalFile(dir.filePath("gone.json"))},
                                         false, strategy);
            break;
        case Source::cachedCopy:
            writeFile(dir.filePath(QStringLiteral("copy.json")), bytes);
            loading = loader.load<Point>(QUrl::fromLocalFile(path), {QUrl::fromLocalFile(dir.filePath("copy.json"))},
                                         false, strategy);
            break;
        }
        QTRY_VERIFY(loading.isFinished());
        try {
            const Point point = loading.result();
            QCOMPARE(failure, -1);
            QCOMPARE(point.x, 1);
            QCOMPARE(point.yValue, 2);
            // Decoded off the calling thread.
            QVERIFY(decodingThread && decodingThread != QThread::currentThread());
        } catch (JSONLoadingError error) {
            QCOMPARE(int(error), failure);
        }
        QCOMPARE(log.lines().size(), logged.isEmpty() ? 0 : 1);
        if (!logged.isEmpty())
            QVERIFY2(log.lines().first().startsWith(QStringLiteral("Filing error ") + logged), qPrintable(log.lines().first()));
    }

    // The URL in the line is written in its encoded form.
    void aFailedLoadLogsTheURLEncoded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("a blank") << "my points" << "my%20points";
        QTest::newRow("beyond ASCII") << "Sch\u00E4del" << "Sch%C3%A4del";
        QTest::newRow("a percent sign") << "100%" << "100%25";
        QTest::newRow("a hash") << "case#2" << "case%232";
        QTest::newRow("a question mark") << "why?" << "why%3F";
    }

    void aFailedLoadLogsTheURLEncoded()
    {
        QFETCH(QString, name);
        QFETCH(QString, encoded);
        QTemporaryDir dir;
        writeFile(dir.filePath(name + ".json"), "[1]");
        const LogCapture log;
        const QFuture<Point> loading = JSONLoader().load<Point>(QUrl::fromLocalFile(dir.filePath(name + ".json")));
        QTRY_VERIFY(loading.isFinished());
        QVERIFY_THROWS_EXCEPTION(JSONLoadingError, loading.result());
        QCOMPARE(log.lines(), QStringList{"Filing error Couldn't load/parse JSON from file://" + dir.path() + "/" + encoded
                                          + ".json: not a point"});
    }

    void snakeCaseKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("converted");
        QTest::newRow("words") << "snake_case_key" << "snakeCaseKey";
        QTest::newRow("underscores at the ends stay") << "_my_url_" << "_myUrl_";
        QTest::newRow("later words lose their capitals") << "an_URL" << "anUrl";
        QTest::newRow("only underscores") << "__" << "__";
        QTest::newRow("no underscores") << "plain" << "plain";
        QTest::newRow("the first word in lower case") << "My_key" << "myKey";
        QTest::newRow("a first word in capitals") << "URL_value" << "urlValue";
        QTest::newRow("a later word in capitals") << "my_URL" << "myUrl";
        QTest::newRow("a leading underscore") << "_private_key" << "_privateKey";
        QTest::newRow("underscores together") << "a__b" << "aB";
        QTest::newRow("one word keeps its capitals") << "Key" << "Key";
        QTest::newRow("one word between underscores") << "_Key_" << "_Key_";
    }

    void snakeCaseKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, converted);
        QCOMPARE(JSONLoader::convertFromSnakeCase(key), converted);
    }
};

QTEST_GUILESS_MAIN(JSONLoaderTest)
#include "tst_jsonloader.moc"
