#include "model/AgeSpec.h"
#include "model/AnnotationLink.h"
#include "model/Vertex.h"

#include <QJsonDocument>
#include <QSet>
#include <QTest>

#include <limits>

namespace {

QJsonObject parse(const char *json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("test input is not JSON: %s", json);
    return document.object();
}

} // namespace

class ValueCodingTest : public QObject {
    Q_OBJECT
private slots:
    void ageCoding()
    {
        QCOMPARE(AgeSpec({5, std::nullopt}).toJson(), parse(R"({"kindRaw": 5})"));
        QCOMPARE(AgeSpec({2, 24}).toJson(), parse(R"({"kindRaw": 2, "value": 24})"));
        // Kind and value are 64-bit, as stored and as archived.
        for (const AgeSpec &age : {AgeSpec{}, AgeSpec{2, 24}, AgeSpec{4, 0}, AgeSpec{9, -2},
                                   AgeSpec{4294967301, 4294967298}, AgeSpec{std::numeric_limits<qint64>::min(), 0}}) {
            const Result<AgeSpec, QString> decoded = AgeSpec::fromJson(age.toJson());
            QVERIFY2(decoded.ok(), decoded.ok() ? "" : qPrintable(decoded.error()));
            QCOMPARE(decoded.value(), age);
        }
        QCOMPARE(AgeSpec::fromJson(parse(R"({"kindRaw": 4, "value": null})")).value(), (AgeSpec{4, std::nullopt}));
        QCOMPARE(AgeSpec::fromJson(parse(R"({"kindRaw": 4.0, "value": 6})")).value(), (AgeSpec{4, 6}));
        // Unknown keys are ignored.
        QVERIFY(AgeSpec::fromJson(parse(R"({"kindRaw": 1, "other": "x"})")).ok());
    }

    void decodingFailures_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("age without kind") << "AgeSpec" << QByteArray(R"({"value": 3})") << R"(AgeSpec: missing key "kindRaw")";
        QTest::newRow("kind as text") << "AgeSpec" << QByteArray(R"({"kindRaw": "5"})")
                                      << R"(AgeSpec: "kindRaw" must be an integer)";
        QTest::newRow("kind fraction") << "AgeSpec" << QByteArray(R"({"kindRaw": 2.5})")
                                       << R"(AgeSpec: "kindRaw" must be an integer)";
        QTest::newRow("value as bool") << "AgeSpec" << QByteArray(R"({"kindRaw": 5, "value": true})")
                                       << R"(AgeSpec: "value" must be an integer)";
        QTest::newRow("value too big") << "AgeSpec" << QByteArray(R"({"kindRaw": 5, "value": 1e300})")
                                       << R"(AgeSpec: "value" must be an integer)";
        QTest::newRow("age not an object") << "AgeSpec" << QByteArray(R"([5])") << "AgeSpec: expected an object";
        QTest::newRow("vertex without y") << "Vertex" << QByteArray(R"({"x": 0.5})") << R"(Vertex: missing key "y")";
        QTest::newRow("coordinate as text") << "Vertex" << QByteArray(R"({"x": "0.5", "y": 1})")
                                            << R"(Vertex: "x" must be a number)";
        const auto link = [](const QByteArray &id, const QByteArray &rest) {
            return "{\"id\": \"" + id + "\", " + rest + "}";
        };
        const QByteArray id = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
        QTest::newRow("link without address") << "AnnotationLink" << link(id, "\"label\": \"a\"")
                                              << R"(AnnotationLink: missing key "urlString")";
        QTest::newRow("label as number") << "AnnotationLink" << link(id, "\"label\": 3, \"urlString\": \"b\"")
                                         << R"(AnnotationLink: "label" must be a string)";
        for (const char *bad : {"not-a-uuid", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", "E621E1F8C36C495A93FC0C247A3E6E5F",
                                "E621E1F8-C36C-495A-93FC-0C247A3E6E5G", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",
                                ""}) {
            QTest::newRow(qPrintable(QStringLiteral("id ") + bad))
                << "AnnotationLink" << link(bad, "\"label\": \"\", \"urlString\": \"\"")
                << R"(AnnotationLink: "id" must be a UUID)";
        }
    }

    void decodingFailures()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const QJsonDocument document = QJsonDocument::fromJson(json);
        const QJsonValue value = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        const QString decoded = type == u"AgeSpec" ? AgeSpec::fromJson(value).error()
                              : type == u"Vertex"  ? Vertex::fromJson(value).error()
                                                   : AnnotationLink::fromJson(value).error();
        QCOMPARE(decoded, error);
    }

    void vertexAndLinkCoding()
    {
        const Vertex vertex{0.25, 0.7};
        QCOMPARE(vertex.toJson(), parse(R"({"x": 0.25, "y": 0.7})"));
        QCOMPARE(Vertex::fromJson(vertex.toJson()).value(), vertex);
        // Whole numbers are numbers too.
        QCOMPARE(Vertex::fromJson(parse(R"({"x": 1, "y": 0})")).value(), (Vertex{1, 0}));

        const AnnotationLink link{QUuid::fromString(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")),
                                  QStringLiteral("Atlas"), QStringLiteral(" example.org ")};
        QCOMPARE(link.toJson(), parse(R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "label": "Atlas",
                                          "urlString": " example.org "})"));
        QCOMPARE(AnnotationLink::fromJson(link.toJson()).value(), link);
        // Empty texts are still written; identifiers in lower case read as the same.
        QCOMPARE(AnnotationLink::fromJson(parse(R"({"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f",
                                                     "label": "", "urlString": ""})")).value(),
                 (AnnotationLink{link.id, QString(), QString()}));
    }

    // Zero and negative zero are equal, so they hash alike.
    void hashingFollowsEquality()
    {
        QCOMPARE((QSet<Vertex>{{0.1, 0.2}, {0.2, 0.1}, {0.1, 0.2}, {-0.1, 0.2}, {-0.0, 0.2}, {0.0, 0.2}}.size()), 4);
        QCOMPARE(qHash(Vertex{0.0, 0.5}), qHash(Vertex{-0.0, 0.5}));
        const AnnotationLink a{QUuid::createUuid(), "Atlas", "example.org"};
        QCOMPARE((QSet<AnnotationLink>{a, {QUuid::createUuid(), "Atlas", "example.org"}, a}.size()), 2);
    }

    void listsOfValues()
    {
        const QList<Vertex> vertices{{0, 0}, {1, 0.5}, {0.25, 1}};
        const Result<QList<Vertex>, QString> decoded = listFromJson<Vertex>(toJsonArray(vertices));
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.value(), vertices);
        QVERIFY(listFromJson<Vertex>(QJsonArray()).value().isEmpty());

        QJsonArray broken = toJsonArray(vertices);
        broken.replace(2, parse(R"({"x": 1})"));
        QCOMPARE(listFromJson<Vertex>(broken).error(), QStringLiteral(R"(item 2: Vertex: missing key "y")"));
        QCOMPARE(listFromJson<Vertex>(QJsonValue(QStringLiteral("x"))).error(), QStringLiteral("expected a list"));
    }
};

QTEST_GUILESS_MAIN(ValueCodingTest)
#include "tst_valuecoding.moc"
