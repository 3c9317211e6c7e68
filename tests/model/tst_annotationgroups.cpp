#include "model/TaggedAnnotation.h"

#include <QTest>

#include <clocale>

namespace {

// An annotation that keeps its group string and counts the writes.
class FakeAnnotation : public TaggedAnnotation {
public:
    explicit FakeAnnotation(QString group = QString()) : m_group(std::move(group)) {}

    QString group() const override { return m_group; }
    void setGroup(const QString &group) override
    {
        m_group = group;
        ++writes;
    }

    int writes = 0;

private:
    QString m_group;
};

} // namespace

class AnnotationGroupsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The group order must not depend on the process locale.
        std::setlocale(LC_ALL, "C");
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("blanks, repeats, empty pieces") << " Bones , nerves,,Bones, vessels,"
                                                       << QStringList{"Bones", "nerves", "vessels"};
        QTest::newRow("blanks only") << " , ,\n,\t" << QStringList();
        // Unicode white space and line breaks are trimmed too; case matters.
        QTest::newRow("unicode blanks") << QString::fromUtf8("\u00a0Nerves\u2028,nerves\u0085")
                                        << QStringList{"Nerves", "nerves"};
        QTest::newRow("blanks inside stay") << "upper  limb" << QStringList{"upper  limb"};
    }

    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        const FakeAnnotation annotation(text);
        QCOMPARE(parseGroupNames(text), names);
        QCOMPARE(annotation.groupNames(), names);
        // Membership matches case, and the name asked about is not trimmed.
        QVERIFY(!annotation.hasGroup(QString()));
        for (const QString &name : names) {
            QVERIFY(annotation.hasGroup(name) && !annotation.hasGroup(u' ' + name));
            QCOMPARE(annotation.hasGroup(name.toUpper()), names.contains(name.toUpper()));
        }
    }

    void changingGroups_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<char>("operation"); // '+' add, '-' remove, '=' set (names split at '|')
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("writes");
        QTest::newRow("set normalises") << "" << '=' << " Bones|a,b||Bones|c " << "Bones, a, b, c" << 1;
        QTest::newRow("set none") << "a" << '=' << "" << "" << 1;
        QTest::newRow("add trimmed") << "Bones,nerves" << '+' << "  vessels \n" << "Bones, nerves, vessels" << 1;
        QTest::newRow("add: case matters") << "Bones" << '+' << "bones" << "Bones, bones" << 1;
        QTest::newRow("add existing") << "Bones,nerves" << '+' << " nerves " << "Bones,nerves" << 0;
        QTest::newRow("add blank") << "Bones" << '+' << " \t" << "Bones" << 0;
        QTest::newRow("remove trimmed, repeats") << "Bones, nerves,Bones" << '-' << " nerves" << "Bones" << 1;
        // Removing an absent name still writes, normalising the string.
        QTest::newRow("remove absent") << " a ,, b,a" << '-' << "zzz" << "a, b" << 1;
        QTest::newRow("remove last") << "Bones" << '-' << "Bones" << "" << 1;
    }

    void changingGroups()
    {
        QFETCH(QString, before);
        QFETCH(char, operation);
        QFETCH(QString, name);
        FakeAnnotation annotation(before);
        if (operation == '+')
            annotation.addGroup(name);
        else if (operation == '-')
            annotation.removeGroup(name);
        else
            annotation.setGroups(name.isEmpty() ? QStringList() : name.split(u'|'));
        QTEST(annotation.group(), "after");
        QTEST(annotation.writes, "writes");
    }

    void listingAllGroupNames()
    {
        const QString ungrouped = ungroupedGroupName();
        QCOMPARE(ungrouped, QStringLiteral("Ungrouped"));
        QCOMPARE(allGroupNames({"b2, B10", "", "a"}), QStringList({"a", "b2", "B10", ungrouped}));
        QCOMPARE(allGroupNames({" , "}), QStringList({ungrouped}));
        // A real group named like the stand-in is listed in its place, and
        // the stand-in again at the end.
        QCOMPARE(allGroupNames({"Ungrouped, Zygoma", "", "Atlas"}),
                 QStringList({"Atlas", "Ungrouped", "Zygoma", ungrouped}));
        // Names that compare equal keep the order in which they were first seen.
        QCOMPARE(allGroupNames({"nerves", "Nerves, nerves", "Bones"}), QStringList({"Bones", "nerves", "Nerves"}));
        // Accented names sort with their base letter.
        QCOMPARE(allGroupNames({"Fémur", "Epaule", "Crâne"}), QStringList({"Crâne", "Epaule", "Fémur"}));
    }

    void visibility()
    {
        const QStringList aAndB{"A", "B"};
        QVERIFY(!isVisible(aAndB, {"A", "B"}));
        QVERIFY(isVisible(aAndB, {"A"}));
        QVERIFY(isVisible(aAndB, {"Ungrouped"}));
        QVERIFY(isVisible({}, {"A", "B"}));
        QVERIFY(!isVisible({}, {"Ungrouped"}));
        // A group really named "Ungrouped" is switched off with the stand-in.
        QVERIFY(!isVisible({"Ungrouped"}, {"Ungrouped"}));
    }
};

QTEST_GUILESS_MAIN(AnnotationGroupsTest)
#include "tst_annotationgroups.moc"
