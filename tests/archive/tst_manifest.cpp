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
    inSeries.id = QUuid::createUuid();
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

// The sample's JSON with `edit` applied to its root object.
QByteArray edited(const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject root = encodedObject(sampleManifest());
    edit(root);
    return QJsonDocument(root).toJson();
}

QJsonObject firstImage(const QJsonObject &root)
{
    return root["images"].toArray()[0].toObject();
}

void setFirstImage(QJsonObject &root, const QJsonObject &image)
{
    QJsonArray images = root["images"].toArray();
    images[0] = image;
    root["images"] = images;
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
        QVERIFY(json.startsWith("{\n    \"application\": {"));
        const QList<QByteArray> topKeys{"\"application\"", "\"exportedAt\"", "\"formatVersion\"", "\"images\"", "\"series\""};
        qsizetype last = -1;
        for (const QByteArray &key : topKeys) {
            const qsizetype at = json.indexOf("\n    " + key);
            QVERIFY2(at > last, key.constData());
            last = at;
        }
        QVERIFY(json.contains("\"imagePath\": \"images/" + m.images[0].id.toString(QUuid::WithoutBraces).toUpper().toLatin1()));
        QVERIFY(json.contains("https://example.org/a?b=c&d=/e"));
        QVERIFY(!json.contains("\\/"));
        QVERIFY(json.contains("\"id\": \"0E984725-C51C-4BF4-9960-E1C80E27ABA0\""));
        QVERIFY(json.contains("\"exportedAt\": \"2025-03-14T09:26:53Z\""));
        QVERIFY(json.contains("\"createdAt\": \"2024-02-29T23:59:59Z\""));
        QVERIFY(json.contains("\"sortIndex\": 9223372036854775807"));
        QVERIFY(json.contains("\"plane\": -9223372036854775808"));

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
        const auto back = M::decoded(m.encoded().value());
        QVERIFY(back.ok());
        QCOMPARE(back.value(), m);
        QCOMPARE(qHash(back.value()), qHash(m));
        QCOMPARE(back.value().images[0].sortIndex, std::numeric_limits<qint64>::max());
        QCOMPARE(back.value().images[1].metadata.plane, std::numeric_limits<qint64>::min());

        // Fractions of a second are dropped, also before 1970.
        M fractional = m;
        fractional.exportedAt = m.exportedAt.addingSeconds(0.999);
        fractional.series[0].createdAt = Date::fromSecondsSince1970(-0.5);
        const M read = M::decoded(fractional.encoded().value()).value();
        QCOMPARE(read.exportedAt, m.exportedAt);
        QCOMPARE(read.series[0].createdAt, Date::fromSecondsSince1970(-1));
        QVERIFY(!(read == fractional));
    }

    void recordsCompareAndHashByValue()
    {
        M::VertexRecord zero{0.0, 0.0};
        M::VertexRecord negativeZero{-0.0, 0.0};
        QCOMPARE(zero, negativeZero);
        QCOMPARE(qHash(zero), qHash(negativeZero));
        M::AgeRecord none{5, std::nullopt};
        M::AgeRecord some{5, 0};
        QVERIFY(!(none == some));
        QVERIFY(qHash(none) != qHash(some));
        M a = sampleManifest();
        M b = a;
        b.images[0].points[0].links[0].url += QLatin1Char(' ');
        QVERIFY(!(a == b));
    }

    void nonFiniteNumbersFailTheWrite()
    {
        M m = sampleManifest();
        m.images[0].regions[0].vertices[2].y = std::numeric_limits<double>::infinity();
        QVERIFY(!m.encoded().ok());
        QCOMPARE(m.encoded().error().codingPath, QStringLiteral("images[0].regions[0].vertices[2].y"));
        QVERIFY(m.encoded().error().description().contains(QStringLiteral("images[0].regions[0].vertices[2].y")));
        m = sampleManifest();
        m.images[0].points[0].x = std::numeric_limits<double>::quiet_NaN();
        QCOMPARE(m.encoded().error().codingPath, QStringLiteral("images[0].points[0].x"));
        m = sampleManifest();
        m.exportedAt = Date{std::numeric_limits<double>::quiet_NaN()};
        QCOMPARE(m.encoded().error().codingPath, QStringLiteral("exportedAt"));
    }

    void optionalFieldsReadNullAsNothingAndUnknownKeysAreIgnored()
    {
        const QByteArray json = edited([](QJsonObject &root) {
            QJsonObject image = firstImage(root);
            image["seriesID"] = QJsonValue::Null;
            image["imagePath"] = QJsonValue::Null;
            QJsonObject metadata = image["metadata"].toObject();
            QJsonObject age = metadata["age"].toObject();
            age["value"] = QJsonValue::Null;
            metadata["age"] = age;
            image["metadata"] = metadata;
            image["SeriesID"] = "not looked at";
            image["futureField"] = QJsonObject{{"nested", 1}};
            setFirstImage(root, image);
            root["laterFormat"] = QJsonArray{1, 2};
        });
        const auto read = M::decoded(json);
        QVERIFY(read.ok());
        QCOMPARE(read.value().images[0].seriesID, std::nullopt);
        QCOMPARE(read.value().images[0].imagePath, std::nullopt);
        QCOMPARE(read.value().images[0].metadata.age.value, std::nullopt);
        // Identifiers in lower case read too.
        QVERIFY(M::decoded(sampleManifest().encoded().value().replace("0E984725-C51C-4BF4-9960-E1C80E27ABA0",
                                                                      "0e984725-c51c-4bf4-9960-e1c80e27aba0"))
                    .ok());
    }

    void requiredFieldsAndTypesAreStrict_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("codingPath");
        using K = ManifestDecodingError::Kind;
        auto withImage = [](const std::function<void(QJsonObject &)> &edit) {
            return edited([&](QJsonObject &root) {
                QJsonObject image = firstImage(root);
                edit(image);
                setFirstImage(root, image);
            });
        };
        QTest::newRow("not json") << QByteArray("{\"formatVersion\": 1,") << int(K::invalidJson) << QString();
        QTest::newRow("array root") << QByteArray("[]") << int(K::typeMismatch) << QString();
        QTest::newRow("no points") << withImage([](QJsonObject &i) { i.remove("points"); }) << int(K::keyNotFound)
                                   << "images[0]";
        QTest::newRow("regions null") << withImage([](QJsonObject &i) { i["regions"] = QJsonValue::Null; })
                                      << int(K::valueNotFound) << "images[0].regions";
        QTest::newRow("no vertices") << withImage([](QJsonObject &i) {
            QJsonArray regions = i["regions"].toArray();
            QJsonObject region = regions[0].toObject();
            region.remove("vertices");
            regions[0] = region;
            i["regions"] = regions;
        }) << int(K::keyNotFound) << "images[0].regions[0]";
        QTest::newRow("no build") << edited([](QJsonObject &r) {
            QJsonObject application = r["application"].toObject();
            application.remove("build");
            r["application"] = application;
        }) << int(K::keyNotFound) << "application";
        QTest::newRow("key case") << withImage([](QJsonObject &i) {
            i["Title"] = i["title"];
            i.remove("title");
        }) << int(K::keyNotFound) << "images[0]";
        QTest::newRow("text as integer") << withImage([](QJsonObject &i) { i["sortIndex"] = "3"; })
                                         << int(K::typeMismatch) << "images[0].sortIndex";
        QTest::newRow("fraction") << withImage([](QJsonObject &i) { i["sortIndex"] = 1.5; }) << int(K::dataCorrupted)
                                  << "images[0].sortIndex";
        QTest::newRow("object for array") << edited([](QJsonObject &r) { r["series"] = QJsonObject(); })
                                          << int(K::typeMismatch) << "series";
        QTest::newRow("number as text") << withImage([](QJsonObject &i) { i["title"] = 5; }) << int(K::typeMismatch)
                                        << "images[0].title";
        QTest::newRow("string coordinate") << withImage([](QJsonObject &i) {
            QJsonArray points = i["points"].toArray();
            QJsonObject point = points[0].toObject();
            point["x"] = "0.5";
            points[0] = point;
            i["points"] = points;
        }) << int(K::typeMismatch) << "images[0].points[0].x";
        QTest::newRow("braced id") << withImage([](QJsonObject &i) {
            i["id"] = "{" + i["id"].toString() + "}";
        }) << int(K::dataCorrupted) << "images[0].id";
        QTest::newRow("id without dashes") << withImage([](QJsonObject &i) {
            i["id"] = i["id"].toString().remove('-');
        }) << int(K::dataCorrupted) << "images[0].id";
        QTest::newRow("id not hex") << withImage([](QJsonObject &i) {
            i["seriesID"] = "0E984725-C51C-4BF4-9960-E1C80E27ABAG";
        }) << int(K::dataCorrupted) << "images[0].seriesID";
        QTest::newRow("date with fraction") << edited([](QJsonObject &r) { r["exportedAt"] = "2025-03-14T09:26:53.5Z"; })
                                            << int(K::dataCorrupted) << "exportedAt";
        QTest::newRow("date without zone") << edited([](QJsonObject &r) { r["exportedAt"] = "2025-03-14T09:26:53"; })
                                           << int(K::dataCorrupted) << "exportedAt";
        QTest::newRow("impossible date") << edited([](QJsonObject &r) { r["exportedAt"] = "2025-02-30T09:26:53Z"; })
                                         << int(K::dataCorrupted) << "exportedAt";
        QTest::newRow("date as number") << edited([](QJsonObject &r) { r["exportedAt"] = 1234; })
                                        << int(K::typeMismatch) << "exportedAt";
        QTest::newRow("nested object not object") << withImage([](QJsonObject &i) { i["metadata"] = QJsonArray(); })
                                                  << int(K::typeMismatch) << "images[0].metadata";
        QTest::newRow("optional of wrong type") << withImage([](QJsonObject &i) { i["imagePath"] = false; })
                                                << int(K::typeMismatch) << "images[0].imagePath";
    }

    void requiredFieldsAndTypesAreStrict()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, kind);
        QFETCH(QString, codingPath);
        const ManifestDecodingError error = decodeError(json);
        QCOMPARE(int(error.kind), kind);
        QCOMPARE(error.codingPath, codingPath);
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

    void onlyStrictJsonIsRead_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray good = sampleManifest().encoded().value();
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + good;
        QTest::newRow("number as key") << QByteArray(good).replace("\"formatVersion\"", "5: 6, \"formatVersion\"");
        QTest::newRow("line feed in a text") << QByteArray(good).replace("CT thorax", "CT\nthorax");
        QTest::newRow("tab in a text") << QByteArray(good).replace("CT thorax", "CT\tthorax");
        QTest::newRow("trailing comma") << QByteArray(good).replace("\"build\": \"42\"", "\"build\": \"42\",");
        QTest::newRow("single quotes") << QByteArray(good).replace("\"build\": \"42\"", "'build': '42'");
        QTest::newRow("comment") << QByteArray(good).replace("\"build\": \"42\"", "\"build\": \"42\" // note");
        QTest::newRow("lone surrogate") << QByteArray(good).replace("CT thorax", "CT \\uD800");
        QTest::newRow("invalid UTF-8") << QByteArray(good).replace("CT thorax", "CT \xC3");
        QTest::newRow("second document") << good + " {}";
    }

    void onlyStrictJsonIsRead()
    {
        QFETCH(QByteArray, json);
        const auto read = M::decoded(json);
        QVERIFY(!read.ok());
        QCOMPARE(int(read.error().kind), int(ManifestDecodingError::Kind::invalidJson));
    }

    void applicationComesFromTheMainBundle()
    {
        const Bundle bundle = Bundle::main();
        const M::Application current = M::Application::current();
        QCOMPARE(current.name, QStringLiteral("Veloran"));
        QCOMPARE(current.version, bundle.releaseVersionNumber().value());
        QCOMPARE(current.build, bundle.buildVersionNumber().value());
        QVERIFY(!current.version.isEmpty());
        M m = sampleManifest();
        m.application = M::Application{QStringLiteral("Veloran"), QString(), QString()};
        // An empty version is still written, and required on reading.
        QVERIFY(encodedObject(m)["application"].toObject().contains("version"));
        QCOMPARE(M::decoded(m.encoded().value()).value().application, m.application);
    }
};

QTEST_GUILESS_MAIN(ManifestTest)
#include "tst_manifest.moc"
