#include "foundation/Distribution.h"
#include "foundation/KeyNumbers.h"
#include "foundation/Stack.h"
#include "foundation/TypeSafeUserDefaults.h"
#include "foundation/ValueTransformers.h"
#include "foundation/WebColor.h"

#include "platform/UserDefaults.h"

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
        QCOMPARE(keyNumbersFromRawValue(0), std::nullopt);
        QCOMPARE(rawValue(KeyNumbers::upArrow), quint16(126));
        QCOMPARE(allKeyNumbers.size(), size_t(23));
        for (const KeyNumbers key : allKeyNumbers)
            QCOMPARE(keyNumbersFromRawValue(rawValue(key)), key);
        QCOMPARE((QSet<Distribution>{Distribution::beta, Distribution::beta, Distribution::appStore}).size(), 2);
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
        QSet<QString> raws;
        int named = 0;
        for (const WebColorRow &row : webColorTable) {
            const QString raw = rawValue(row.color);
            raws.insert(raw);
            QCOMPARE(webColorFromRawValue(raw), row.color);
            named += raw.size() != 8 || raw.front().isLower() ? 1 : 0;
        }
        QCOMPARE(raws.size(), 148);
        QCOMPARE(named, 9);
        QCOMPARE(rawValue(WebColor::aliceBlue), QStringLiteral("F0F8FFFF"));
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
