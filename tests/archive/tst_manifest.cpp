#include "archive/LibraryArchiveManifest.h"
#include "foundation/Bundle.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <limits>

namespace {

using M = LibraryArchiveManifest;

const QString imageId = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");

Date at(int year, int month, int day, int hour, int minute, int second)
{
    return Date::fromDateTime(QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC));
}

M sampleManifest()
{
    M m;
    m.formatVersion = 1;
    m.exportedAt = at(2025, 3, 14, 9, 26, 53);
    m.application = {QStringLiteral("Veloran"), QStringLiteral("1.2"), QStringLiteral("42")};
    m.series = {{QUuid::fromString(QStringLiteral("0e984725-c51c-4bf4-9960-e1c80e27aba0")), QStringLiteral("CT thorax"),
                 at(2024, 2, 29, 23, 59, 59)}};
    M::ImageRecord inSeries;
    inSeries.id = QUuid::fromString(imageId);
    inSeries.title = QStringLiteral("Axial \u00E9 \U0001F600 \"quoted\" back\\slash");
    inSeries.metadata = {2, 4, 2, 3, {5, 40}};
    inSeries.createdAt = at(1999, 12, 31, 0, 0, 1);
    inSeries.sortIndex = std::numeric_limits<qint64>::max();
    inSeries.seriesID = m.series[0].id;
    inSeries.imagePath = QStringLiteral("images/") + inSeries.id.toString(QUuid::WithoutBraces).toUpper() + ".png";
    // Texts that begin with U+0000 are ordinary texts.
    inSeries.points = {{QUuid::createUuid(), QString(QChar(0)) + QStringLiteral("S"), QString(QChar(0)), 0.1, 1.0 / 3.0,
                        {{QUuid::createUuid(), QString(), QStringLiteral("https://example.org/a?b=c&d=/e")}}}};
    inSeries.regions = {{QUuid::createUuid(), QStringLiteral("Lung"), QString(),
                         {{0, 0}, {1, 0}, {-0.25, 7.5e-300}, {5e-324, -0.0}}, {}}};
    M::ImageRecord standalone;
    standalone.id = QUuid::createUuid();
    standalone.metadata = {99, -1, std::numeric_limits<qint64>::min(), 1, {1, std::nullopt}};
    standalone.createdAt = at(2030, 1, 1, 12, 0, 0);
    standalone.sortIndex = -7;
    m.images = {inSeries, standalone};
    return m;
}

QJsonObject encodedObject(const M &m)
{
    return QJsonDocument::fromJson(m.encoded().value()).object();
}

QJsonValue withValue(const QJsonValue &node, QStringList keys, const QJsonValue &value)
{
    if (keys.isEmpty())
        return value;
    const QString key = keys.takeFirst();
    bool isIndex = false;
    const int index = key.toInt(&isIndex);
    if (isIndex) {
        QJsonArray array = node.toArray();
        array[index] = withValue(array[index], keys, value);
        return array;
    }
    QJsonObject object = node.toObject();
    const QJsonValue changed = withValue(object.value(key), keys, value);
    if (changed.isUndefined())
        object.remove(key);
    else
        object[key] = changed;
    return object;
}

// The sample's JSON with the values at paths such as "images[0].points[0].x"
// replaced, or removed where the new value is undefined.
QByteArray edited(const QList<std::pair<QString, QJsonValue>> &edits)
{
    QJsonValue root = encodedObject(sampleManifest());
    for (const auto &[path, value] : edits)
        root = withValue(root, QString(path).replace(QLatin1Char('['), QLatin1Char('.')).remove(QLatin1Char(']')).split('.'), value);
    return QJsonDocument(root.toObject()).toJson();
}

ManifestDecodingError decodeError(const QByteArray &json)
{
    const auto result = M::decoded(json);
    // A success matches no kind of error.
    return result.ok() ? ManifestDecodingError{ManifestDecodingError::Kind(-1), "decoded", "unexpectedly"}
                       : result.error();
}

} // namespace

class ManifestTest : public QObject {
    Q_OBJECT
private slots:
    void writesTheAgreedJsonForm()
    {
        const M m = sampleManifest();
        const QByteArray json = m.encoded().value();
        // Indented, keys sorted, slashes as they are, upper-case identifiers,
        // dates in UTC to the second.
        const QByteArrayList keys{"{\n    \"application\": {", "\n    \"exportedAt\"", "\n    \"formatVersion\"",
                                  "\n    \"images\"", "\n    \"series\""};
        for (qsizetype i = 1; i < keys.size(); ++i)
            QVERIFY2(json.indexOf(keys[i - 1]) < json.indexOf(keys[i]), keys[i].constData());
        QVERIFY(json.startsWith(keys[0]));
        for (const char *fragment : {"\"imagePath\": \"images/6F9619FF-8B86-D011-B42D-00C04FC964FF.png\"",
                                     "\"url\": \"https://example.org/a?b=c&d=/e\"", "\"id\": \"0E984725-C51C-4BF4-9960-E1C80E27ABA0\"",
                                     "\"exportedAt\": \"2025-03-14T09:26:53Z\"", "\"createdAt\": \"2024-02-29T23:59:59Z\"",
                                     "\"sortIndex\": 9223372036854775807", "\"plane\": -9223372036854775808"})
            QVERIFY2(json.contains(fragment), fragment);
        // Optional fields that hold nothing are left out; lists are always there.
        const QJsonObject standalone = encodedObject(m)["images"].toArray()[1].toObject();
        QVERIFY(!standalone.contains("seriesID"));
        QVERIFY(!standalone.contains("imagePath"));
        QCOMPARE(standalone["metadata"].toObject()["age"].toObject().keys(), QStringList{"kind"});
        QVERIFY(standalone["points"].isArray() && standalone["regions"].isArray());
        QCOMPARE(standalone["title"].toString(), QString());
        const QJsonObject region = encodedObject(m)["images"].toArray()[0].toObject()["regions"].toArray()[0].toObject();
        QVERIFY(region["links"].isArray() && region["links"].toArray().isEmpty());
    }

    void roundTripsExactlyWithWholeSecondDates()
    {
        const M m = sampleManifest();
        const M back = M::decoded(m.encoded().value()).value();
        QCOMPARE(back, m);
        QCOMPARE(qHash(back), qHash(m));
        // Records compare and hash by value: -0 is 0, an absent age value isn't 0.
        QCOMPARE(qHash(M::VertexRecord{-0.0, 0.0}), qHash(M::VertexRecord{0.0, 0.0}));
        QVERIFY(qHash(M::AgeRecord{5, std::nullopt}) != qHash(M::AgeRecord{5, 0}));
        // Fractions of a second are dropped, also before 1970.
        M fractional = m;
        fractional.exportedAt = m.exportedAt.addingSeconds(0.999);
        fractional.series[0].createdAt = Date::fromSecondsSince1970(-0.5);
        const M read = M::decoded(fractional.encoded().value()).value();
        QCOMPARE(read.exportedAt, m.exportedAt);
        QCOMPARE(read.series[0].createdAt, Date::fromSecondsSince1970(-1));
        QVERIFY(!(read == fractional));
    }

    void nonFiniteNumbersFailTheWrite()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        M m = sampleManifest();
        m.images[0].regions[0].vertices[2].y = std::numeric_limits<double>::infinity();
        QCOMPARE(m.encoded().error().description(),
                 QStringLiteral("The library.json manifest can't be written: the value at "
                                "\u201Cimages[0].regions[0].vertices[2].y\u201D isn't a finite number."));
        m = sampleManifest();
        m.images[0].points[0].x = nan;
        QCOMPARE(m.encoded().error().codingPath, QStringLiteral("images[0].points[0].x"));
        m = sampleManifest();
        m.exportedAt = Date{nan};
        QCOMPARE(m.encoded().error().codingPath, QStringLiteral("exportedAt"));
    }

    void optionalFieldsReadNullAsNothingAndUnknownKeysAreIgnored()
    {
        const auto read = M::decoded(edited({{"images[0].seriesID", QJsonValue::Null},
                                             {"images[0].imagePath", QJsonValue::Null},
                                             {"images[0].metadata.age.value", QJsonValue::Null},
                                             {"images[0].SeriesID", "not looked at"},
                                             {"images[0].futureField", QJsonObject{{"nested", 1}}},
                                             {"laterFormat", QJsonArray{1, 2}}}));
        QVERIFY(read.ok());
        QCOMPARE(read.value().images[0].seriesID, std::nullopt);
        QCOMPARE(read.value().images[0].imagePath, std::nullopt);
        QCOMPARE(read.value().images[0].metadata.age.value, std::nullopt);
        // Identifiers in lower case read too.
        QVERIFY(M::decoded(edited({{"series[0].id", "0e984725-c51c-4bf4-9960-e1c80e27aba0"}})).ok());
    }

    void requiredFieldsTypesAndSyntaxAreStrict_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("codingPath");
        using K = ManifestDecodingError::Kind;
        const auto row = [](const char *name, const QByteArray &json, K kind, const char *path = "") {
            QTest::newRow(name) << json << int(kind) << QString::fromLatin1(path);
        };
        const QJsonValue gone = QJsonValue::Undefined;
        row("not json", "{\"formatVersion\": 1,", K::invalidJson);
        row("array root", "[]", K::typeMismatch);
        row("no points", edited({{"images[0].points", gone}}), K::keyNotFound, "images[0]");
        row("regions null", edited({{"images[0].regions", QJsonValue::Null}}), K::valueNotFound, "images[0].regions");
        row("no vertices", edited({{"images[0].regions[0].vertices", gone}}), K::keyNotFound, "images[0].regions[0]");
        row("no build", edited({{"application.build", gone}}), K::keyNotFound, "application");
        row("key case", edited({{"images[0].title", gone}, {"images[0].Title", "t"}}), K::keyNotFound, "images[0]");
        row("text as integer", edited({{"images[0].sortIndex", "3"}}), K::typeMismatch, "images[0].sortIndex");
        row("fraction", edited({{"images[0].sortIndex", 1.5}}), K::dataCorrupted, "images[0].sortIndex");
        row("object for array", edited({{"series", QJsonObject()}}), K::typeMismatch, "series");
        row("number as text", edited({{"images[0].title", 5}}), K::typeMismatch, "images[0].title");
        row("string coordinate", edited({{"images[0].points[0].x", "0.5"}}), K::typeMismatch, "images[0].points[0].x");
        row("braced id", edited({{"images[0].id", "{" + imageId + "}"}}), K::dataCorrupted, "images[0].id");
        row("id without dashes", edited({{"images[0].id", QString(imageId).remove('-')}}), K::dataCorrupted,
            "images[0].id");
        row("id with trailing digits", edited({{"images[0].id", imageId + "12"}}), K::dataCorrupted, "images[0].id");
        row("id not hex", edited({{"images[0].seriesID", "0E984725-C51C-4BF4-9960-E1C80E27ABAG"}}), K::dataCorrupted,
            "images[0].seriesID");
        row("date with fraction", edited({{"exportedAt", "2025-03-14T09:26:53.5Z"}}), K::dataCorrupted, "exportedAt");
        row("date without zone", edited({{"exportedAt", "2025-03-14T09:26:53"}}), K::dataCorrupted, "exportedAt");
        row("impossible date", edited({{"exportedAt", "2025-02-30T09:26:53Z"}}), K::dataCorrupted, "exportedAt");
        row("date as number", edited({{"exportedAt", 1234}}), K::typeMismatch, "exportedAt");
        row("nested object not object", edited({{"images[0].metadata", QJsonArray()}}), K::typeMismatch,
            "images[0].metadata");
        row("optional of wrong type", edited({{"images[0].imagePath", false}}), K::typeMismatch, "images[0].imagePath");
        // The lists' records are read as they come, with the errors of
        // the whole: the first faulty record, the series before the images
        // (written after them), the last member of a repeated name.
        row("second image faulty", edited({{"images[1].sortIndex", "3"}}), K::typeMismatch, "images[1].sortIndex");
        row("two images faulty", edited({{"images[1].title", 5}, {"images[0].id", "x"}}), K::dataCorrupted,
            "images[0].id");
        row("image and series faulty", edited({{"images[0].title", 5}, {"series[0].title", 5}}), K::typeMismatch,
            "series[0].title");
        row("image and version faulty", edited({{"images[0].title", 5}, {"formatVersion", "1"}}), K::typeMismatch,
            "formatVersion");
        row("image not an object", edited({{"images[1]", 4}}), K::typeMismatch, "images[1]");
        row("images null", edited({{"images", QJsonValue::Null}}), K::valueNotFound, "images");
        row("no images", edited({{"images", gone}}), K::keyNotFound, "");
        row("images a number", edited({{"images", 3}}), K::typeMismatch, "images");
        const QByteArray good = sampleManifest().encoded().value();
        const QByteArray faultyFirst = QByteArray(good).replace("{\n    \"application\"",
                                                                "{\"images\": [5], \"series\": [{}],\n    \"application\"");
        if (faultyFirst == good)
            qFatal("the sample's JSON no longer begins with its application");
        row("faulty lists repeated by good ones", faultyFirst, K(-1), "decoded");
        row("good images repeated by a faulty one",
            QByteArray(good).replace("\n}", ", \"images\": [{\"id\": 1}]\n}"), K::typeMismatch, "images[0].id");
        row("good images repeated by null", QByteArray(good).replace("\n}", ", \"images\": null\n}"),
            K::valueNotFound, "images");
        row("images within a record are no list", edited({{"images[0].metadata.images", QJsonArray{5}}}), K(-1),
            "decoded");
        // Only strict JSON is read.
        row("byte order mark", "\xEF\xBB\xBF" + good, K::invalidJson);
        row("number as key", QByteArray(good).replace("\"formatVersion\"", "5: 6, \"formatVersion\""), K::invalidJson);
        row("line feed in a text", QByteArray(good).replace("CT thorax", "CT\nthorax"), K::invalidJson);
        row("trailing comma", QByteArray(good).replace("\"build\": \"42\"", "\"build\": \"42\","), K::invalidJson);
        row("single quotes", QByteArray(good).replace("\"build\": \"42\"", "'build': '42'"), K::invalidJson);
        row("comment", QByteArray(good).replace("\"build\": \"42\"", "\"build\": \"42\" // note"), K::invalidJson);
        row("lone surrogate", QByteArray(good).replace("CT thorax", "CT \\uD800"), K::invalidJson);
        row("invalid UTF-8", QByteArray(good).replace("CT thorax", "CT \xC3"), K::invalidJson);
        row("second document", good + " {}", K::invalidJson);
    }

    void requiredFieldsTypesAndSyntaxAreStrict()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, kind);
        QFETCH(QString, codingPath);
        const ManifestDecodingError error = decodeError(json);
        QCOMPARE(int(error.kind), kind);
        QCOMPARE(error.codingPath, codingPath);
        if (kind >= 0)
            QVERIFY(error.description().startsWith(QStringLiteral("The library.json manifest ")));
    }

    // The first value of `key` in the sample written as `text`: what is
    // read, or the kind of error.
    void numbersKeepTheirJsonForm_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVariant>("read"); // qint64 or double, or an int error kind
        using K = ManifestDecodingError::Kind;
        const QVariant corrupted = int(K::dataCorrupted);
        QTest::newRow("smallest integer") << QByteArray("sortIndex") << QByteArray("-9223372036854775808")
                                          << QVariant(std::numeric_limits<qint64>::min());
        QTest::newRow("beyond a double") << QByteArray("sortIndex") << QByteArray("9007199254740993")
                                         << QVariant(qint64(9007199254740993LL));
        QTest::newRow("whole with a fraction") << QByteArray("sortIndex") << QByteArray("4.0") << QVariant(qint64(4));
        QTest::newRow("past the largest") << QByteArray("sortIndex") << QByteArray("9223372036854775808") << corrupted;
        QTest::newRow("past the smallest") << QByteArray("sortIndex") << QByteArray("-9223372036854775809") << corrupted;
        QTest::newRow("huge exponent") << QByteArray("sortIndex") << QByteArray("1e300") << corrupted;
        QTest::newRow("negative zero") << QByteArray("x") << QByteArray("-0") << QVariant(0.0);
        QTest::newRow("integer coordinate") << QByteArray("x") << QByteArray("2") << QVariant(2.0);
        QTest::newRow("exponent") << QByteArray("x") << QByteArray("1.5E-3") << QVariant(0.0015);
        for (const char *malformed : {"01", "1.", ".5", "+1", "1e", "--1", "0x10", "NaN", "Infinity", "1e400"})
            QTest::newRow(malformed) << QByteArray("x") << QByteArray(malformed) << QVariant(int(K::invalidJson));
        QTest::newRow("marked text for a number") << QByteArray("formatVersion") << QByteArray("\"\\u0000N1\"")
                                                  << QVariant(int(K::typeMismatch));
    }

    void numbersKeepTheirJsonForm()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, text);
        QFETCH(QVariant, read);
        QByteArray json = sampleManifest().encoded().value();
        const qsizetype at = json.indexOf("\"" + key + "\": ") + key.size() + 4;
        json = json.left(at) + text + json.mid(json.indexOf(',', at));
        const auto decoded = M::decoded(json);
        if (read.typeId() == QMetaType::Int)
            QCOMPARE(int(decodeError(json).kind), read.toInt());
        else if (read.typeId() == QMetaType::Double)
            QCOMPARE(decoded.value().images[0].points[0].x, read.toDouble());
        else
            QCOMPARE(decoded.value().images[0].sortIndex, read.toLongLong());
    }

    void applicationComesFromTheMainBundle()
    {
        const Bundle bundle = Bundle::main();
        QCOMPARE(M::Application::current(), (M::Application{QStringLiteral("Veloran"), bundle.releaseVersionNumber().value(),
                                                             bundle.buildVersionNumber().value()}));
    }
};

QTEST_GUILESS_MAIN(ManifestTest)
#include "tst_manifest.moc"
