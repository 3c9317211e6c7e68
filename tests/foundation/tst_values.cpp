#include "foundation/Distribution.h"
#include "foundation/KeyNumbers.h"
#include "foundation/Stack.h"
#include "foundation/TypeSafeUserDefaults.h"
#include "foundation/ValueTransformers.h"
#include "foundation/WebColor.h"

#include "platform/UserDefaults.h"

#include <QColor>
#include <QHash>
#include <QSet>
#include <QTest>

namespace {

struct Push {
    int element;
    bool unique;
    std::optional<qsizetype> maximum;
};

} // namespace

class ValuesTest : public QObject {
    Q_OBJECT

private slots:
    void stack_data()
    {
        QTest::addColumn<QList<Push>>("pushes");
        QTest::addColumn<QList<int>>("expected");
        const std::optional<qsizetype> none;
        QTest::newRow("unique moves to the top") << QList<Push>{{1, true, none}, {2, true, none}, {3, true, none}, {2, true, none}}
                                                 << QList<int>{1, 3, 2};
        QTest::newRow("maximum drops the oldest") << QList<Push>{{1, false, 3}, {2, false, 3}, {3, false, 3}, {4, false, 3}}
                                                  << QList<int>{2, 3, 4};
        QTest::newRow("maximum 1 keeps only the new") << QList<Push>{{1, false, none}, {2, false, none}, {5, false, 1}}
                                                      << QList<int>{5};
        QTest::newRow("unique before the count") << QList<Push>{{1, false, 3}, {2, false, 3}, {3, false, 3}, {1, true, 3}}
                                                 << QList<int>{2, 3, 1};
        QTest::newRow("maximum 0 keeps the new element") << QList<Push>{{1, false, none}, {2, false, 0}}
                                                         << QList<int>{2};
        QTest::newRow("negative maximum") << QList<Push>{{1, false, none}, {2, false, -4}} << QList<int>{2};
    }

    void stack()
    {
        QFETCH(QList<Push>, pushes);
        QFETCH(QList<int>, expected);
        Stack<int> stack;
        QVERIFY(stack.isEmpty());
        for (const Push &push : pushes)
            stack.push(push.element, push.unique, push.maximum);
        QCOMPARE(stack.all(), expected);
        QCOMPARE(stack.peek(), expected.last());
        QCOMPARE(stack.pop(), expected.last());
        QCOMPARE(stack.count(), expected.size() - 1);
    }

    void stackBasics()
    {
        Stack<int> a, b;
        QVERIFY(isEmpty(a) && !a.pop() && !a.peek());
        a.push(1);
        a.push(2);
        b.push(2);
        b.push(1);
        QVERIFY(!(a == b));
        QCOMPARE(a.description(), QStringLiteral("[1, 2]"));
        a.removeAll();
        QCOMPARE(a.count(), 0);
    }

    void keyNumbersAndDistribution()
    {
        // The published key codes, written out apart from the enumeration.
        const QList<QPair<KeyNumbers, int>> table = {
            {KeyNumbers::r, 15},           {KeyNumbers::alpha1, 18},       {KeyNumbers::alpha2, 19},
            {KeyNumbers::alpha3, 20},      {KeyNumbers::alpha4, 21},       {KeyNumbers::return_, 36},
            {KeyNumbers::tab, 48},         {KeyNumbers::space, 49},        {KeyNumbers::leftShift, 56},
            {KeyNumbers::leftOption, 58},  {KeyNumbers::leftControl, 59},  {KeyNumbers::rightShift, 60},
            {KeyNumbers::rightOption, 61}, {KeyNumbers::rightControl, 62}, {KeyNumbers::enter, 76},
            {KeyNumbers::numeric1, 83},    {KeyNumbers::numeric2, 84},     {KeyNumbers::numeric3, 85},
            {KeyNumbers::numeric4, 86},    {KeyNumbers::leftArrow, 123},   {KeyNumbers::rightArrow, 124},
            {KeyNumbers::downArrow, 125},  {KeyNumbers::upArrow, 126},
        };
        QCOMPARE(allKeyNumbers.size(), size_t(table.size()));
        QHash<int, KeyNumbers> byCode;
        for (qsizetype i = 0; i < table.size(); ++i) {
            QCOMPARE(allKeyNumbers[size_t(i)], table[i].first); // declaration order
            QCOMPARE(int(rawValue(table[i].first)), table[i].second);
            byCode.insert(table[i].second, table[i].first);
        }
        // Every 16-bit code: the table's codes name their key, all others nothing.
        for (int code = 0; code <= 0xFFFF; ++code) {
            const auto key = keyNumbersFromRawValue(quint16(code));
            if (byCode.contains(code))
                QCOMPARE(key, std::optional(byCode.value(code)));
            else if (key)
                QFAIL(qPrintable(QString("code %1 names a key").arg(code)));
        }

        const QList<Distribution> distributions = {Distribution::debug,   Distribution::alpha,      Distribution::beta,
                                                   Distribution::release, Distribution::testFlight, Distribution::appStore};
        for (qsizetype i = 0; i < distributions.size(); ++i)
            QCOMPARE(int(distributions[i]), int(i)); // the cases in their order
        QCOMPARE(QSet<Distribution>(distributions.begin(), distributions.end()).size(), distributions.size());
    }

    void webColors_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<std::optional<WebColor>>("color");
        QTest::newRow("red") << "FF0000FF" << std::optional(WebColor::red);
        QTest::newRow("lower case is not a raw value") << "ff0000ff" << std::optional<WebColor>();
        QTest::newRow("no alpha") << "FF0000" << std::optional<WebColor>();
        QTest::newRow("the hexadecimal value is cyan's") << "00FFFFFF" << std::optional(WebColor::cyan);
        QTest::newRow("the second name") << "aqua" << std::optional(WebColor::aqua);
        QTest::newRow("dark khaki") << "BDB76BFF" << std::optional(WebColor::darKhaki);
        QTest::newRow("rebecca purple") << "663399FF" << std::optional(WebColor::rebeccaPurple);
    }

    void webColors()
    {
        QFETCH(QString, raw);
        QFETCH(std::optional<WebColor>, color);
        QCOMPARE(webColorFromRawValue(raw), color);
        if (color)
            QCOMPARE(hexString(*color), QLatin1Char('#') + raw);
    }

    void everyColourComesBackFromItsRawValue()
    {
        // The case names in declaration order; each colour's value is checked
        // against the CSS colour of that name as QColor knows it (all but
        // rebecca purple, which it lacks).
        const QStringList names = QStringLiteral(
            "aliceBlue antiqueWhite aqua cyan aquamarine azure beige bisque black blanchedAlmond blue blueViolet brown "
            "burlywood cadetBlue chartreuse chocolate coral cornflowerBlue cornsilk crimson darkBlue darkCyan "
            "darkGoldenrod darkGray darkGrey darkGreen darKhaki darkMagenta darkOliveGreen darkOrange darkOrchid darkRed "
            "darkSalmon darkSeaGreen darkSlateBlue darkSlateGray darkSlateGrey darkTurquoise darkViolet deepPink "
            "deepSkyBlue dimGray dimGrey dodgerBlue fireBrick floralWhite forestGreen fuchsia magenta gainsboro "
            "ghostWhite gold goldenrod gray grey green greenYellow honeyDew hotPink indianRed indigo ivory khaki "
            "lavender lavenderBlush lawnGreen lemonChiffon lightBlue lightCoral lightCyan lightGoldenrodYellow lightGray "
            "lightGrey lightGreen lightPink lightSalmon lightSeaGreen lightSkyBlue lightSlateGray lightSlateGrey "
            "lightSteelBlue lightYellow lime limeGreen linen maroon mediumAquamarine mediumBlue mediumOrchid "
            "mediumPurple mediumSeaGreen mediumSlateBlue mediumSpringGreen mediumTurquoise mediumVioletRed midnightBlue "
            "mintCream mistyRose moccasin navajoWhite navy oldLace olive oliveDrab orange orangeRed orchid paleGoldenrod "
            "paleGreen paleTurquoise paleVioletRed papayaWhip peachPuff peru pink plum powderBlue purple rebeccaPurple "
            "red rosyBrown royalBlue saddleBrown salmon sandyBrown seaGreen seashell sienna silver skyBlue slateBlue "
            "slateGray slateGrey snow springGreen steelBlue tan teal thistle tomato turquoise violet wheat white "
            "whiteSmoke yellow yellowGreen").split(QLatin1Char(' '));
        // Second names: their own name is their raw value; the next case carries the colour.
        const QStringList secondNames = {"aqua",     "darkGray",       "darkSlateGray", "dimGray",  "fuchsia",
                                         "gray",     "lightGray",      "lightSlateGray", "slateGray"};
        QCOMPARE(names.size(), 148);
        QCOMPARE(webColorTable.size(), size_t(names.size()));
        QSet<QString> raws;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const WebColorRow &row = webColorTable[size_t(i)];
            const QString name = names[i];
            QCOMPARE(int(row.color), int(i));
            const QString raw = rawValue(row.color);
            if (secondNames.contains(name)) {
                QCOMPARE(raw, name);
                QCOMPARE(QColor::fromString(name.toLower()), QColor::fromString(names[i + 1].toLower()));
            } else {
                const QString css = name == u"darKhaki" ? QStringLiteral("darkkhaki") : name.toLower();
                const QColor expected = name == u"rebeccaPurple" ? QColor(0x66, 0x33, 0x99) : QColor::fromString(css);
                QVERIFY2(expected.isValid(), qPrintable(css));
                QCOMPARE(raw, expected.name(QColor::HexRgb).mid(1).toUpper() + QStringLiteral("FF"));
            }
            raws.insert(raw);
            QCOMPARE(webColorFromRawValue(raw), row.color);
        }
        QCOMPARE(raws.size(), 148);
    }

    void transformers()
    {
        const IntToStringTransformer integers;
        QCOMPARE(integers.transformedValue(-7), QVariant(QStringLiteral("-7")));
        QVERIFY(!integers.transformedValue(QStringLiteral("42")).isValid());
        QVERIFY(!integers.transformedValue(QVariant()).isValid());
        QVERIFY(!integers.allowsReverseTransformation() && !integers.reverseTransformedValue("42").isValid());
        const URLtoStringTransformer urls;
        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt"));
        const QVariant text = urls.transformedValue(file);
        QCOMPARE(text, QVariant(QStringLiteral("file:///tmp/a%20b.txt")));
        QCOMPARE(urls.reverseTransformedValue(text), QVariant(file));
        QVERIFY(!urls.reverseTransformedValue(QString()).isValid());
        QVERIFY(!urls.reverseTransformedValue(42).isValid());
        QVERIFY(!urls.transformedValue(QStringLiteral("file:///x")).isValid());
        ValueTransformer::setValueTransformer(std::make_shared<URLtoStringTransformer>(),
                                              ValueTransformerName::urlToString());
        QVERIFY(ValueTransformer::valueTransformer(QStringLiteral("URLtoStringTransformer")));
        QVERIFY(!ValueTransformer::valueTransformer(ValueTransformerName::intToString()));
    }

    void typedDefaults()
    {
        UserDefaults defaults(QVariantMap{{"name", "Atlas"}, {"count", "42"}, {"ratio", 2.75}, {"on", true}});
        const TypeSafeUserDefaults never(QStringLiteral("never"), &defaults);
        QVERIFY(!never.string() && !never.boolean() && never.integer() == 0 && never.doubleValue() == 0.0);
        QCOMPARE(TypeSafeUserDefaults("name", &defaults).string(), QStringLiteral("Atlas"));
        QCOMPARE(TypeSafeUserDefaults("count", &defaults).integer(), 42);
        QCOMPARE(TypeSafeUserDefaults("ratio", &defaults).integer(), 2); // cut off, not rounded
        QCOMPARE(TypeSafeUserDefaults("ratio", &defaults).doubleValue(), 2.75);
        QVERIFY(TypeSafeUserDefaults("on", &defaults).boolean());
        defaults.setString(QStringLiteral("Other"), QStringLiteral("name"));
        QCOMPARE(TypeSafeUserDefaults("name", &defaults).string(), QStringLiteral("Other")); // read afresh
    }
};

QTEST_GUILESS_MAIN(ValuesTest)
#include "tst_values.moc"
