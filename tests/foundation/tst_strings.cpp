#include "FoundationTestSupport.h"

#include "foundation/DeviceNameTable.h"
#include "foundation/DevicesAndVersions.h"
#include "foundation/StringPatterns.h"
#include "foundation/Strings.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <QSet>
#include <QTest>

#include <ctime>
#include <functional>

namespace {

using Transform = std::function<QString(const QString &)>;

Transform of(QString (*f)(const QString &))
{
    return Transform(f);
}

// `f` with the text first and `rest` after it.
template<typename... Rest, typename... Given>
Transform of(QString (*f)(const QString &, Rest...), Given... rest)
{
    return [=](const QString &text) { return f(text, rest...); };
}

} // namespace

class StringsTest : public QObject {
    Q_OBJECT

private slots:
    void transforms_data()
    {
        QTest::addColumn<Transform>("transform");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("abbreviated to hyphen") << of(abbreviatedToHyphen) << "Ultra-sound guided biopsy" << "Ultra guided biopsy";
        QTest::newRow("a trailing hyphen ends it") << of(abbreviatedToHyphen) << "Pre- and post-operative" << "Pre";
        QTest::newRow("initials") << of(initials) << "Jean-Luc picard" << "JLp";
        QTest::newRow("numbers only") << of(numbersOnly) << "(03) 123-4567" << "031234567";
        QTest::newRow("no hyphens") << of(deletingHyphens) << "a-b--c" << "abc";
        QTest::newRow("first character is a whole character") << of(firstCharacter) << "e\u0301tude" << "e\u0301";
        QTest::newRow("first character of nothing") << of(firstCharacter) << "" << "";
        QTest::newRow("first word") << of(firstWord) << " one" << "";
        QTest::newRow("last word") << of(lastWord) << "one two" << "two";
        QTest::newRow("path extension") << of(pathExtension) << "/tmp/report.tar.gz" << "gz";
        QTest::newRow("without extension") << of(deletingPathExtension) << "/tmp/report.tar.gz" << "report.tar";
        QTest::newRow("a hidden file has no extension") << of(pathExtension) << "/home/a/.profile" << "";
        QTest::newRow("condensed white space") << of(condensedWhiteSpace) << " a \n\t b " << " a b ";
        QTest::newRow("trailing white space") << of(removingTrailingWhiteSpace) << " a b \n\t" << " a b";
        QTest::newRow("folders from a UUID") << of(folderPathFromUUID, false) << "1A2B3C4D-5E6F" << "1A/2B/3C/4D";
        QTest::newRow("odd length") << of(folderPathFromUUID, false) << "ABCDE" << "AB/CD/E";
        QTest::newRow("the entire UUID") << of(folderPathFromUUID, true) << "1A2B-5E6F" << "1A2B/5E6F";
        QTest::newRow("truncated at the length") << of(truncated, 3, QStringLiteral("…")) << "abc" << "abc…";
        QTest::newRow("shorter is kept") << of(truncated, 3, QStringLiteral("…")) << "ab" << "ab";
        QTest::newRow("negative length keeps the text") << of(truncated, -1, QStringLiteral("…")) << "ab" << "ab";
        QTest::newRow("whole words") << of(truncatedToWords, 9) << "one two three" << "one two";
        QTest::newRow("no word fits") << of(truncatedToWords, 2) << "one two" << "one two";
        QTest::newRow("tabs become spaces") << of(truncatedToWords, 20) << "one\ttwo" << "one two";
        QTest::newRow("one prefix") << of(deletingPrefix, QStringLiteral("ab")) << "abab" << "ab";
        QTest::newRow("one suffix") << of(deletingSuffix, QStringLiteral("b")) << "abb" << "ab";
        QTest::newRow("replace two") << of(replacingOccurrences, QStringLiteral("a"), QStringLiteral("b"), 2) << "aaaa" << "bbaa";
        QTest::newRow("replace none") << of(replacingOccurrences, QStringLiteral("a"), QStringLiteral("b"), 0) << "aaaa" << "aaaa";
        QTest::newRow("negative count replaces none")
            << of(replacingOccurrences, QStringLiteral("a"), QStringLiteral("b"), -3) << "aaaa" << "aaaa";
        QTest::newRow("brackets excluded") << of(excludingCharactersInSet, CharacterSet("()[]{}")) << "f(x) = [y]" << "fx = y";
        QTest::newRow("home as a tilde") << of(abbreviatingWithTilde) << QDir::homePath() + "/notes" << "~/notes";
        QTest::newRow("tilde as home") << of(expandingTilde) << "~/notes" << QDir::homePath() + "/notes";
        QTest::newRow("root's home") << of(expandingTilde) << "~root" << "/root";
    }

    void transforms()
    {
        QFETCH(Transform, transform);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(transform(text), expected);
    }

    // Lists of type "and" in each locale's own words; the user's current
    // locale when none is named.
    void andLists_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << "en_US" << QStringList{} << "";
        QTest::newRow("one") << "en_US" << QStringList{"a"} << "a";
        QTest::newRow("two in English") << "en_US" << QStringList{"a", "b"} << "a and b";
        QTest::newRow("three in American English") << "en_US" << QStringList{"a", "b", "c"} << "a, b, and c";
        QTest::newRow("three in British English") << "en_GB" << QStringList{"a", "b", "c"} << "a, b and c";
        QTest::newRow("two in German") << "de_DE" << QStringList{"a", "b"} << "a und b";
        QTest::newRow("three in German") << "de_DE" << QStringList{"a", "b", "c"} << "a, b und c";
        QTest::newRow("two in French") << "fr_FR" << QStringList{"a", "b"} << "a et b";
        QTest::newRow("the C locale reads as English") << "C" << QStringList{"a", "b"} << "a and b";
    }

    void andLists()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, items);
        QFETCH(QString, expected);
        QCOMPARE(formattedAndList(items, locale), expected);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const QString current = formattedAndList(items);
        QLocale::setDefault(before);
        QCOMPARE(current, expected);
    }

    void pieces()
    {
        QCOMPARE(countOccurrences("aaaa", "aa"), 2);
        QCOMPARE(character("abc", 3), QString());
        QCOMPARE(character("abc", -1), QString());
        QCOMPARE(character("a\U0001F468\u200D\U0001F469\u200D\U0001F467b", 2), QStringLiteral("b"));
        QCOMPARE(arrayOfCommaDelimitedStrings("a, b ,c"), (QStringList{"a", "b", "c"}));
        QCOMPARE(arrayOfCommaDelimitedStrings("New York, Boston"), (QStringList{"NewYork", "Boston"}));
        QCOMPARE(arrayOfCommaDelimitedStrings(""), QStringList{""});
        QCOMPARE(slice("a[bc]d", "[", "]"), QStringLiteral("bc"));
        QCOMPARE(slice("a]b[c", "[", "]"), std::nullopt);
        QCOMPARE(fullRange("h\u00e9"), (TextRange{0, 2}));
        QCOMPARE(hourAndMinute("0930"), (HourAndMinute{9, 30}));
        QCOMPARE(hourAndMinute("930"), HourAndMinute{});
        QCOMPARE(hourAndMinute("09:30"), HourAndMinute{});
        QCOMPARE(hourAndMinute("-1-1"), (HourAndMinute{-1, -1}));
    }

    void shortNewZealandDates()
    {
        qputenv("TZ", "Pacific/Auckland");
        tzset();
        QCOMPARE(dateFromShortNZDateFormat("5/3/24"), QDateTime(QDate(2024, 3, 5), QTime(0, 0), QTimeZone("Pacific/Auckland")));
        QCOMPARE(dateFromShortNZDateFormat("31/12/99")->date(), QDate(1999, 12, 31));
        QCOMPARE(dateFromShortNZDateFormat("2024-03-05"), std::nullopt);
    }

    void appendingText()
    {
        QTemporaryDir dir;
        const QUrl file = QUrl::fromLocalFile(dir.filePath("log.txt"));
        appendLineToURL("één", file);
        appendToURL("two", file);
        QCOMPARE(QString::fromUtf8(readFile(file.toLocalFile())), QStringLiteral("één\ntwo"));
    }

    void patterns()
    {
        QCOMPARE(acronyms("IL-6 and TNF\u03B1, then MRI, MRIs and MRI again; mri", 2, 4, true),
                 (QStringList{"IL-6", "MRI", "MRIs", "TNF\u03B1"}));
        QCOMPARE(acronyms("AB ABC ABCD", 3, 3, true), QStringList{"ABC"});
        const LogCapture log;
        QVERIFY(acronyms("ABC", 2, 1, true).isEmpty());
        QCOMPARE(log.lines(), QStringList{"UI error String.acronyms warning: maximum not >= minimum"});
        QCOMPARE(groups("b", "(a)|(b)"), (QStringList{"b", "b"}));
        QCOMPARE(groups("ABC", "[a-z]+"), QStringList{"ABC"});
        QVERIFY(extractStrings("x", "(").isEmpty());
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(groups("x", "(").isEmpty());
        QCOMPARE(log.lines().size(), 2);
        QVERIFY(log.lines().last().startsWith("UI error Invalid regEx: "));
        QCOMPARE(extractStrings("see http://a.b/c and https://d.e", urlRegEx()),
                 (QStringList{"http://a.b/c", "https://d.e"}));
    }

    void validators_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("phone");
        QTest::addColumn<bool>("mobile");
        QTest::addColumn<bool>("email");
        QTest::newRow("landline") << "(03) 123 4567" << true << false << false;
        QTest::newRow("international") << "+64 3 123 4567" << false << false << false;
        QTest::newRow("mobile") << "021 123 456" << false << true << false;
        QTest::newRow("address") << "jo.bloggs+atlas@example.co.nz" << false << false << true;
        QTest::newRow("no dot after the at") << "jo@localhost" << false << false << false;
        QTest::newRow("a space") << "jo bloggs@example.org" << false << false << false;
    }

    void validators()
    {
        QFETCH(QString, text);
        QFETCH(bool, phone);
        QFETCH(bool, mobile);
        QFETCH(bool, email);
        QCOMPARE(isValidPhoneNumber(text), phone);
        QCOMPARE(isValidMobileNumber(text), mobile);
        QCOMPARE(isValidEmail(text), email);
    }

    void nhi_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("nhi");
        QTest::newRow("lower case") << "abc1235" << "ABC1235";
        QTest::newRow("wrong check digit") << "ABC1234" << "";
        QTest::newRow("inside other text") << "xx abc1235 yy" << "ABC1235";
        QTest::newRow("remainder 1 checks 0") << "AAB0000" << "AAB0000";
        QTest::newRow("remainder 0 is never valid") << "AAD0000" << "";
        QTest::newRow("no O first") << "OAB0000" << "";
    }

    void nhi()
    {
        QFETCH(QString, text);
        QFETCH(QString, nhi);
        QCOMPARE(validNHI(text).value_or(QString()), nhi);
    }

    void devices()
    {
        // The identifiers, in table order, written out apart from the table.
        const QStringList identifiers = QStringLiteral(
            "iPod5,1 iPod7,1 iPod9,1 "
            "iPhone3,1 iPhone3,2 iPhone3,3 iPhone4,1 iPhone5,1 iPhone5,2 iPhone5,3 iPhone5,4 iPhone6,1 iPhone6,2 "
            "iPhone7,2 iPhone7,1 iPhone8,1 iPhone8,2 iPhone9,1 iPhone9,3 iPhone9,2 iPhone9,4 iPhone10,1 iPhone10,4 "
            "iPhone10,2 iPhone10,5 iPhone10,3 iPhone10,6 iPhone11,2 iPhone11,4 iPhone11,6 iPhone11,8 iPhone12,1 "
            "iPhone12,3 iPhone12,5 iPhone13,1 iPhone13,2 iPhone13,3 iPhone13,4 iPhone14,4 iPhone14,5 iPhone14,2 "
            "iPhone14,3 iPhone14,7 iPhone14,8 iPhone15,2 iPhone15,3 iPhone15,4 iPhone15,5 iPhone16,1 iPhone16,2 "
            "iPhone8,4 iPhone12,8 iPhone14,6 "
            "iPad2,1 iPad2,2 iPad2,3 iPad2,4 iPad3,1 iPad3,2 iPad3,3 iPad3,4 iPad3,5 iPad3,6 iPad6,11 iPad6,12 "
            "iPad7,5 iPad7,6 iPad7,11 iPad7,12 iPad11,6 iPad11,7 iPad12,1 iPad12,2 iPad13,18 iPad13,19 iPad4,1 "
            "iPad4,2 iPad4,3 iPad5,3 iPad5,4 iPad11,3 iPad11,4 iPad13,1 iPad13,2 iPad13,16 iPad13,17 iPad14,8 "
            "iPad14,9 iPad14,10 iPad14,11 iPad2,5 iPad2,6 iPad2,7 iPad4,4 iPad4,5 iPad4,6 iPad4,7 iPad4,8 iPad4,9 "
            "iPad5,1 iPad5,2 iPad11,1 iPad11,2 iPad14,1 iPad14,2 iPad6,3 iPad6,4 iPad7,3 iPad7,4 iPad8,1 iPad8,2 "
            "iPad8,3 iPad8,4 iPad8,9 iPad8,10 iPad13,4 iPad13,5 iPad13,6 iPad13,7 iPad14,3 iPad14,4 iPad16,3 "
            "iPad16,4 iPad6,7 iPad6,8 iPad7,1 iPad7,2 iPad8,5 iPad8,6 iPad8,7 iPad8,8 iPad8,11 iPad8,12 iPad13,8 "
            "iPad13,9 iPad13,10 iPad13,11 iPad14,5 iPad14,6 iPad16,5 iPad16,6 "
            "AppleTV5,3 AppleTV6,2 AppleTV11,1 AppleTV14,1 AudioAccessory1,1 AudioAccessory5,1 RealityDevice14,1")
                                            .split(QLatin1Char(' '));
        QCOMPARE(identifiers.size(), 148);
        QCOMPARE(deviceNameTable.size(), size_t(identifiers.size()));
        QSet<QString> names;
        for (qsizetype i = 0; i < identifiers.size(); ++i) {
            const DeviceNameRow &row = deviceNameTable[size_t(i)];
            QCOMPARE(QString::fromUtf8(row.identifier.data(), qsizetype(row.identifier.size())), identifiers[i]);
            const QString name = mapToDeviceName(identifiers[i]);
            QCOMPARE(name, QString::fromUtf8(row.name.data(), qsizetype(row.name.size())));
            QVERIFY2(name != identifiers[i], qPrintable(identifiers[i]));
            names.insert(name);
        }
        QCOMPARE(names.size(), 83);
        // Names that tell the models apart.
        const QList<QPair<QStringList, QString>> telling = {
            {{"iPod5,1"}, "iPod touch (5th generation)"},
            {{"iPhone3,1", "iPhone3,2", "iPhone3,3"}, "iPhone 4"},
            {{"iPhone4,1"}, "iPhone 4s"},
            {{"iPhone7,2"}, "iPhone 6"},
            {{"iPhone7,1"}, "iPhone 6 Plus"},
            {{"iPhone11,4", "iPhone11,6"}, "iPhone XS Max"},
            {{"iPhone8,4"}, "iPhone SE"},
            {{"iPhone16,2"}, "iPhone 15 Pro Max"},
            {{"iPad13,18", "iPad13,19"}, "iPad (10th generation)"},
            {{"iPad8,1", "iPad8,2", "iPad8,3", "iPad8,4"}, "iPad Pro (11-inch) (1st generation)"},
            {{"iPad16,5", "iPad16,6"}, "iPad Pro (13-inch) (M4)"},
            {{"AppleTV5,3"}, "Apple TV 4"},
            {{"AppleTV6,2", "AppleTV11,1", "AppleTV14,1"}, "Apple TV 4K"},
            {{"AudioAccessory1,1"}, "HomePod"},
            {{"AudioAccessory5,1"}, "HomePod mini"},
        };
        for (const auto &[keys, name] : telling) {
            for (const QString &key : keys)
                QCOMPARE(mapToDeviceName(key), name);
        }

        QCOMPARE(mapToDeviceName("iPhone12,8"), QStringLiteral("iPhone SE (2nd generation)"));
        QCOMPARE(mapToDeviceName("iPad14,10"), QStringLiteral("iPad Air (13-inch) (M2)"));
        QCOMPARE(mapToDeviceName("RealityDevice14,1"), QStringLiteral("Apple Vision Pro"));
        for (const QString unknown : {"iPhone99,1", "x86_64", "", "iphone3,1"})
            QCOMPARE(mapToDeviceName(unknown), unknown);
    }

    void versions_data()
    {
        QTest::addColumn<QString>("mine");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<bool>("byParts");
        QTest::newRow("1.10 and 1.9") << "1.10" << "1.9" << true << true;
        QTest::newRow("1.9 and 1.10") << "1.9" << "1.10" << false << false;
        QTest::newRow("equal") << "2.0" << "2.0" << true << true;
        QTest::newRow("1.2 and 1.2.0") << "1.2" << "1.2.0" << false << true;
        QTest::newRow("1.2.3 and 1.2") << "1.2.3" << "1.2" << true << true;
        QTest::newRow("1.02 and 1.2") << "1.02" << "1.2" << true << false;
        QTest::newRow("letters are skipped") << "2.a" << "2.1" << true << false;
        QTest::newRow("the first number decides") << "1.x.3" << "1.y.2" << false << true;
        QTest::newRow("empty") << "" << "1" << false << false;
    }

    void versions()
    {
        QFETCH(QString, mine);
        QFETCH(QString, theirs);
        QFETCH(bool, numeric);
        QFETCH(bool, byParts);
        QCOMPARE(atLeastVersion(mine, theirs), numeric);
        QCOMPARE(asVersionIsAtLeast(mine, theirs), byParts);
    }
};

QTEST_GUILESS_MAIN(StringsTest)
#include "tst_strings.moc"
