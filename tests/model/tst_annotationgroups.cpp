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

    void parsing()
    {
        QCOMPARE(parseGroupNames(QStringLiteral(" Bones , nerves,,Bones, vessels,")),
                 QStringList({"Bones", "nerves", "vessels"}));
        QCOMPARE(parseGroupNames(QString()), QStringList());
        QCOMPARE(parseGroupNames(QStringLiteral(" , ,\n,\t")), QStringList());
        // Unicode white space and line breaks are trimmed too; case matters.
        QCOMPARE(parseGroupNames(QString::fromUtf8("\u00a0Nerves\u2028,nerves\u0085")),
                 QStringList({"Nerves", "nerves"}));
        // Blanks inside a name stay.
        QCOMPARE(parseGroupNames(QStringLiteral("upper  limb")), QStringList({"upper  limb"}));
    }

    void membership()
    {
        const FakeAnnotation annotation(QStringLiteral("Bones, nerves"));
        QCOMPARE(annotation.groupNames(), QStringList({"Bones", "nerves"}));
        QVERIFY(annotation.hasGroup("Bones"));
        QVERIFY(!annotation.hasGroup("bones"));
        // The name asked about is not trimmed.
        QVERIFY(!annotation.hasGroup(" Bones"));
        QVERIFY(!FakeAnnotation().hasGroup(QString()));
    }

    void settingGroupsNormalises()
    {
        FakeAnnotation annotation;
        annotation.setGroups({" Bones", "a,b", "", "Bones", "c "});
        QCOMPARE(annotation.group(), QStringLiteral("Bones, a, b, c"));
        annotation.setGroups({});
        QCOMPARE(annotation.group(), QString());
        QCOMPARE(annotation.writes, 2);
    }

    void addingGroups()
    {
        FakeAnnotation annotation(QStringLiteral("Bones,nerves"));
        annotation.addGroup(QStringLiteral("  vessels \n"));
        QCOMPARE(annotation.group(), QStringLiteral("Bones, nerves, vessels"));
        QCOMPARE(annotation.writes, 1);

        // Case matters: a second name.
        annotation.addGroup(QStringLiteral("bones"));
        QCOMPARE(annotation.group(), QStringLiteral("Bones, nerves, vessels, bones"));
        QCOMPARE(annotation.writes, 2);

        // An existing name (after trimming) or a blank one writes nothing.
        annotation.addGroup(QStringLiteral(" nerves "));
        annotation.addGroup(QStringLiteral(" \t"));
        annotation.addGroup(QString());
        QCOMPARE(annotation.writes, 2);

        FakeAnnotation ungrouped;
        ungrouped.addGroup(QStringLiteral("Bones"));
        QCOMPARE(ungrouped.group(), QStringLiteral("Bones"));
    }

    void removingGroups()
    {
        FakeAnnotation annotation(QStringLiteral("Bones, nerves,Bones"));
        annotation.removeGroup(QStringLiteral(" nerves"));
        QCOMPARE(annotation.group(), QStringLiteral("Bones"));
        QCOMPARE(annotation.writes, 1);

        // Removing an absent name still writes, normalising the string.
        FakeAnnotation messy(QStringLiteral(" a ,, b,a"));
        messy.removeGroup(QStringLiteral("zzz"));
        QCOMPARE(messy.group(), QStringLiteral("a, b"));
        QCOMPARE(messy.writes, 1);

        annotation.removeGroup(QStringLiteral("Bones"));
        QCOMPARE(annotation.group(), QString());
        QCOMPARE(annotation.writes, 2);
    }

    void listingAllGroupNames()
    {
        const QString ungrouped = ungroupedGroupName();
        QCOMPARE(ungrouped, QStringLiteral("Ungrouped"));
        QCOMPARE(allGroupNames({"b2, B10", "", "a"}), QStringList({"a", "b2", "B10", ungrouped}));
        QCOMPARE(allGroupNames({"b2, B10", "a"}), QStringList({"a", "b2", "B10"}));
        QCOMPARE(allGroupNames({}), QStringList());
        QCOMPARE(allGroupNames({" , "}), QStringList({ungrouped}));
        // A real group named like the stand-in is listed in its place, and
        // the stand-in again at the end.
        QCOMPARE(allGroupNames({"Ungrouped, Zygoma", "", "Atlas"}),
                 QStringList({"Atlas", "Ungrouped", "Zygoma", ungrouped}));
        // Names that compare equal keep the order in which they were first seen.
        QCOMPARE(allGroupNames({"nerves", "Nerves, nerves", "Bones"}), QStringList({"Bones", "nerves", "Nerves"}));
        QCOMPARE(allGroupNames({"Nerves", "nerves"}), QStringList({"Nerves", "nerves"}));
        // Accented names sort with their base letter.
        QCOMPARE(allGroupNames({"Fémur", "Epaule", "Crâne"}), QStringList({"Crâne", "Epaule", "Fémur"}));
    }

    void visibility()
    {
        const QStringList aAndB{"A", "B"};
        QVERIFY(!isVisible(aAndB, {"A", "B"}));
        QVERIFY(isVisible(aAndB, {"A"}));
        QVERIFY(isVisible(aAndB, {}));
        QVERIFY(isVisible(aAndB, {"Ungrouped"}));
        QVERIFY(isVisible({}, {"A", "B"}));
        QVERIFY(!isVisible({}, {"Ungrouped"}));
        QVERIFY(isVisible({}, {}));
        // A group really named "Ungrouped" is switched off with the stand-in.
        QVERIFY(!isVisible({"Ungrouped"}, {"Ungrouped"}));
    }
};

QTEST_GUILESS_MAIN(AnnotationGroupsTest)
#include "tst_annotationgroups.moc"
