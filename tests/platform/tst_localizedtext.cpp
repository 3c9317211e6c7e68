#include "platform/LocalizedText.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <clocale>

namespace {

int sign(std::weak_ordering order)
{
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

QStringList sorted(QStringList list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const QString &a, const QString &b) { return localizedStandardCompare(a, b) < 0; });
    return list;
}

} // namespace

// Runs as CI does: the C locale in the environment (set for this test by
// CTest) and again explicitly here, so nothing depends on the user's
// settings.
class LocalizedTextTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
    }

    void numbersCompareByValue()
    {
        QCOMPARE(sorted({"slice10", "slice2", "slice1"}), QStringList({"slice1", "slice2", "slice10"}));
        QCOMPARE(sorted({"B10", "b2", "a"}), QStringList({"a", "b2", "B10"}));
        QCOMPARE(sorted({"x 100", "x 20", "x 3"}), QStringList({"x 3", "x 20", "x 100"}));
        // Longer than any integer type.
        QCOMPARE(sign(localizedStandardCompare(u"id 99999999999999999999999", u"id 100000000000000000000000")), -1);
        // Leading zeros do not count, so these are equivalent.
        QCOMPARE(sign(localizedStandardCompare(u"file007", u"file7")), 0);
        QCOMPARE(sign(localizedStandardCompare(u"file007", u"file8")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"v1.10", u"v1.9")), 1);
        // A number ends where the digits do; what follows still counts.
        QCOMPARE(sign(localizedStandardCompare(u"2a", u"2b")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"10", u"9z")), 1);
        // Numbers that start inside a long shared beginning are still
        // compared whole.
        QCOMPARE(sign(localizedStandardCompare(u"Series 10000000", u"Series 1000000")), 1);
        QCOMPARE(sign(localizedStandardCompare(u"abcdefg12", u"abcdefg13")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"abcdefgh12", u"abcdefgh9")), 1);
        QCOMPARE(sign(localizedStandardCompare(u"Slice 1234567890 b", u"Slice 1234567890 a")), 1);
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("abcdefg\U0001D538x"),
                                               QString::fromUtf8("abcdefg\U0001D538y"))),
                 -1);
        // Digits of other scripts count by value too (Arabic-Indic 12 > 9).
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("x \u0661\u0662"), u"x 9")), 1);
    }

    void caseIsIgnored()
    {
        QCOMPARE(sign(localizedStandardCompare(u"Bones", u"bones")), 0);
        QCOMPARE(sign(localizedStandardCompare(u"apple", u"Banana")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"Zebra", u"apple")), 1);
        QCOMPARE(sign(localizedStandardCompare(u"", u"")), 0);
        QCOMPARE(sign(localizedStandardCompare(u"", u"a")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"abc", u"ab")), 1);
    }

    void accentedLettersSortWithTheirBaseLetter()
    {
        const QStringList input{QString::fromUtf8("Zygoma"), QString::fromUtf8("Crâne"), QString::fromUtf8("Cubitus"),
                                QString::fromUtf8("Crane"), QString::fromUtf8("Épaule"), QString::fromUtf8("Fémur"),
                                QString::fromUtf8("Ethmoid")};
        QCOMPARE(sorted(input),
                 QStringList({QString::fromUtf8("Crane"), QString::fromUtf8("Crâne"), QString::fromUtf8("Cubitus"),
                              QString::fromUtf8("Épaule"), QString::fromUtf8("Ethmoid"), QString::fromUtf8("Fémur"),
                              QString::fromUtf8("Zygoma")}));
        // The accent only decides when everything else ties.
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("côte"), u"cotf")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"cote", QString::fromUtf8("côte"))), -1);
        // Composed and decomposed forms are the same text.
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("Cr\u00e2ne"), QString::fromUtf8("Cra\u0302ne"))), 0);
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("CRÂNE"), QString::fromUtf8("crâne"))), 0);
    }

    void kindsOfCharactersOrder()
    {
        // White space, punctuation, symbols, digits, letters.
        QCOMPARE(sorted({"a", "1", "+", "-", " "}), QStringList({" ", "-", "+", "1", "a"}));
        QCOMPARE(sign(localizedStandardCompare(u"_x", u"ax")), -1);
        QCOMPARE(sign(localizedStandardCompare(u"{x", u"ax")), -1);
    }

    void orderIsConsistent()
    {
        // Antisymmetric and transitive over a mixed set, so sorting is sound.
        const QStringList texts{"", " ", "a", "A", "a1", "a01", "a2", "a10", "b", QString::fromUtf8("á"),
                                QString::fromUtf8("à"), QString::fromUtf8("b\u0301"), "-", "ab", "a b", "10", "9",
                                QString::fromUtf8("Ωmega"), QString::fromUtf8("가"), QString::fromUtf8("각"),
                                QString::fromUtf8("𝔸x"), QString(QChar(0xD800)), "z"};
        for (const QString &a : texts) {
            for (const QString &b : texts) {
                QCOMPARE(sign(localizedStandardCompare(a, b)), -sign(localizedStandardCompare(b, a)));
                for (const QString &c : texts) {
                    if (localizedStandardCompare(a, b) < 0 && localizedStandardCompare(b, c) < 0)
                        QVERIFY2(localizedStandardCompare(a, c) < 0, qPrintable(a + " < " + b + " < " + c));
                }
            }
        }
        // Hangul syllables are not taken apart into letters.
        QCOMPARE(sign(localizedStandardCompare(QString::fromUtf8("가"), QString::fromUtf8("각"))), -1);
    }

    void containsIgnoresCaseAndDiacritics()
    {
        const QString crane = QString::fromUtf8("Crâne, vue latérale");
        QVERIFY(localizedStandardContains(crane, u"crane"));
        QVERIFY(localizedStandardContains(crane, u"CRANE"));
        QVERIFY(localizedStandardContains(crane, QString::fromUtf8("LATÉRALE")));
        QVERIFY(localizedStandardContains(crane, u"e, v"));
        QVERIFY(!localizedStandardContains(crane, u"cranes"));
        QVERIFY(!localizedStandardContains(crane, u""));
        QVERIFY(!localizedStandardContains(u"", u"a"));
        // Decomposed haystacks (as file names often are) match composed needles.
        QVERIFY(localizedStandardContains(QString::fromUtf8("Cra\u0302ne"), QString::fromUtf8("crâ")));
        QVERIFY(localizedStandardContains(u"CT Computed Tomography (CT)", u"ct com"));
        // Letters of other scripts fold too.
        QVERIFY(localizedStandardContains(QString::fromUtf8("ΚΡΑΝΊΟ"), QString::fromUtf8("κρανιο")));
        // Characters outside the Basic Multilingual Plane.
        QVERIFY(localizedStandardContains(QString::fromUtf8("bone 🦴 left"), QString::fromUtf8("🦴 L")));
    }

    void needleFoldedOnceMatchesManyTexts()
    {
        const LocalizedSearchNeedle needle(QString::fromUtf8("FÉMUR"));
        QCOMPARE(needle.folded(), QStringLiteral("femur"));
        QVERIFY(needle.isFoundIn(QString::fromUtf8("Left femur")));
        QVERIFY(needle.isFoundIn(QString::fromUtf8("Fémur droit")));
        QVERIFY(!needle.isFoundIn(u"Tibia"));
        QVERIFY(LocalizedSearchNeedle(QString::fromUtf8("\u0301")).isEmpty());

        // Long texts are searched in pieces; matches across piece borders count.
        QString longText(1000, u'x');
        longText.replace(126, 5, QStringLiteral("FEMUR"));
        QVERIFY(needle.isFoundIn(longText));
        longText.replace(126, 5, QStringLiteral("xxxxx"));
        longText.append(QStringLiteral("femu"));
        QVERIFY(!needle.isFoundIn(longText));
        QVERIFY(needle.isFoundIn(longText + u'R'));
    }

    void searchAgreesWithSearchingTheFoldedText()
    {
        // Random texts over an alphabet with the cases the fast paths must
        // get right: capitals, accented letters, separate diacritics,
        // surrogate pairs and digits, long enough for blocks of eight.
        const QStringList alphabet{"a", "A", "b", "C", "c", " ", "1", QString::fromUtf8("â"),
                                   QString::fromUtf8("Â"), QString::fromUtf8("̂"),
                                   QString::fromUtf8("𝔸"), QString::fromUtf8("​"), "-"};
        QRandomGenerator random(7);
        auto randomText = [&](int maxLength) {
            QString text;
            const int length = random.bounded(maxLength + 1);
            for (int i = 0; i < length; ++i)
                text += alphabet.at(random.bounded(alphabet.size()));
            return text;
        };
        for (int round = 0; round < 3000; ++round) {
            const QString haystack = randomText(40);
            const QString needleText = random.bounded(2) == 0 && haystack.size() > 2
                ? haystack.mid(random.bounded(haystack.size() - 1), 1 + random.bounded(6))
                : randomText(4);
            if (!needleText.isValidUtf16())
                continue; // half of a surrogate pair is nothing anyone types
            const LocalizedSearchNeedle needle(needleText);
            const bool expected = !needle.isEmpty() && foldedForSearch(haystack).contains(needle.folded());
            QVERIFY2(needle.isFoundIn(haystack) == expected, qPrintable(haystack + " / " + needleText));

            const QString other = randomText(40);
            QCOMPARE(sign(localizedStandardCompare(haystack, other)), -sign(localizedStandardCompare(other, haystack)));
            QCOMPARE(sign(localizedStandardCompare(haystack, haystack)), 0);
        }
    }

    void joinedPartsMatchLikeTheJoinedText()
    {
        const QStringList texts{"Skull", "", "CT", "Computed Tomography (CT)", "", "left femur"};
        QList<QStringView> parts;
        for (const QString &text : texts)
            parts.append(text);
        const QString joined = texts.join(u' ');
        for (const char *query : {"ct com", "skull  ct", "ll", "CT)  left", "femur", "ct  comp", "x"}) {
            const LocalizedSearchNeedle needle(QString::fromUtf8(query));
            QCOMPARE(needle.isFoundInJoined(std::span(parts.constData(), parts.size())), needle.isFoundIn(joined));
        }
        QVERIFY(LocalizedSearchNeedle(u"ll  ct").isFoundInJoined(std::span(parts.constData(), parts.size())));
        QVERIFY(!LocalizedSearchNeedle(u"a").isFoundInJoined({}));
    }

    void sameResultsInAnyLocale()
    {
        const QStringList input{"b2", "B10", QString::fromUtf8("Ängel"), "Zebra", "a"};
        const QStringList inC = sorted(input);
        QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
        std::setlocale(LC_ALL, "sv_SE.UTF-8");
        const QStringList inSwedish = sorted(input);
        const bool foundInSwedish = localizedStandardContains(QString::fromUtf8("Ängel"), u"angel");
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
        QCOMPARE(inSwedish, inC);
        QVERIFY(foundInSwedish);
        QCOMPARE(inC, QStringList({"a", QString::fromUtf8("Ängel"), "b2", "B10", "Zebra"}));
    }

    void trimsUnicodeWhiteSpace()
    {
        const QString padded = QString::fromUtf8("\u0085\u00a0\u2028\u3000\t\n Bones \u2029\u202f\u205f\u1680\u2003\r");
        QCOMPARE(trimmingWhitespaceAndNewlines(padded), QStringLiteral("Bones"));
        QCOMPARE(trimmingWhitespaceAndNewlines(QString::fromUtf8("\u00a0a\u00a0b\u00a0")), QString::fromUtf8("a\u00a0b"));
        QCOMPARE(trimmingWhitespaceAndNewlines(QString::fromUtf8(" \u2028 ")), QString());
        // Zero-width and other format characters are not white space.
        QCOMPARE(trimmingWhitespaceAndNewlines(QString::fromUtf8("\u200bx\ufeff")), QString::fromUtf8("\u200bx\ufeff"));
        QCOMPARE(trimmingWhitespaceAndNewlines(QString()), QString());
    }
};

QTEST_GUILESS_MAIN(LocalizedTextTest)
#include "tst_localizedtext.moc"
