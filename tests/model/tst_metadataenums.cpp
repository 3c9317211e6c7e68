#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"

#include <QSet>
#include <QTest>

#include <limits>

namespace {

// The cases in order with their titles and raw values; every raw value
// reads back as its case, and `unknown`, last, is the only case left out of
// the selectable ones.
template<MetadataEnum E>
void checkCases(const QStringList &titles, const QList<qint64> &raws)
{
    const QList<E> cases = allCases<E>();
    QStringList seenTitles;
    QList<qint64> seenRaws;
    for (E value : cases) {
        seenTitles << title(value);
        seenRaws << rawValue(value);
        QCOMPARE(fromRawValue<E>(rawValue(value)), std::optional<E>(value));
        QCOMPARE(caseFromRaw<E>(rawValue(value)), value);
        QCOMPARE(id(value), rawValue(value));
    }
    QCOMPARE(seenTitles, titles);
    QCOMPARE(seenRaws, raws);
    QCOMPARE(cases.last(), E::unknown);
    QCOMPARE(selectableCases<E>(), cases.first(cases.size() - 1));
}

} // namespace

class MetadataEnumsTest : public QObject {
    Q_OBJECT
private slots:
    void casesRawValuesAndTitles()
    {
        checkCases<Modality>({"DX", "CT", "MR", "NM", "PT", "US", "XA", QString(QChar(0x2014))}, {1, 2, 3, 4, 5, 6, 7, 0});
        checkCases<Region>({"Head", "Neck", "Spine", "Thorax", "Abdomen", "Pelvis", "Upper limb", "Lower limb", "Unknown"},
                           {1, 2, 3, 4, 5, 6, 7, 8, 0});
        // Declaration order is not raw-value order.
        checkCases<Plane>({"Axial", "Coronal", "Sagittal", "Unspecified", "Unknown"}, {2, 3, 4, 1, 0});
        checkCases<Sex>({"Male", "Female", "Unspecified", "Unknown"}, {2, 3, 1, 0});
        checkCases<AgeSpec::Kind>({"Fetal", "Neonate", "Months", "Years", "Unspecified", "Unknown"}, {2, 3, 4, 5, 1, 0});
    }

    void rawValuesOutsideTheCases()
    {
        QCOMPARE(fromRawValue<Modality>(8), std::nullopt);
        QCOMPARE(caseFromRaw<Modality>(8), Modality::unknown);
        QCOMPARE(fromRawValue<Region>(9), std::nullopt);
        QCOMPARE(fromRawValue<Sex>(-1), std::nullopt);
        QCOMPARE(fromRawValue<AgeSpec::Kind>(6), std::nullopt);
        QCOMPARE(planeFromRaw(5), Plane::unknown);
        QCOMPARE(planeFromRaw(1), Plane::unspecified);
        // A 64-bit value whose low 32 bits name a case is still no case.
        QCOMPARE(fromRawValue<Modality>((qint64(1) << 32) + 2), std::nullopt);
        QCOMPARE(caseFromRaw<Sex>(std::numeric_limits<qint64>::min()), Sex::unknown);
    }

    void ageDisplayText_data()
    {
        QTest::addColumn<qint64>("kindRaw");
        QTest::addColumn<std::optional<qint64>>("value");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("compact");
        QTest::addColumn<AgeSpec::Kind>("kind");

        using K = AgeSpec::Kind;
        const std::optional<qint64> none;
        QTest::newRow("unspecified") << qint64(1) << none << "Unspecified" << "" << K::unspecified;
        QTest::newRow("unspecified with value") << qint64(1) << std::optional<qint64>(3) << "Unspecified" << "" << K::unspecified;
        QTest::newRow("fetal") << qint64(2) << none << "Fetal" << "" << K::fetal;
        QTest::newRow("fetal 24") << qint64(2) << std::optional<qint64>(24) << "Fetal 24w" << "24/40" << K::fetal;
        QTest::newRow("fetal 1 has no singular") << qint64(2) << std::optional<qint64>(1) << "Fetal 1w" << "1/40" << K::fetal;
        QTest::newRow("neonate") << qint64(3) << none << "Neonate" << "Neonate" << K::neonate;
        QTest::newRow("neonate with value") << qint64(3) << std::optional<qint64>(5) << "Neonate" << "Neonate" << K::neonate;
        QTest::newRow("1 month") << qint64(4) << std::optional<qint64>(1) << "1 month" << "1m" << K::months;
        QTest::newRow("2 months") << qint64(4) << std::optional<qint64>(2) << "2 months" << "2m" << K::months;
        QTest::newRow("years") << qint64(5) << none << "Years" << "" << K::years;
        QTest::newRow("1 year") << qint64(5) << std::optional<qint64>(1) << "1 year" << "1y" << K::years;
        QTest::newRow("0 years") << qint64(5) << std::optional<qint64>(0) << "0 years" << "0y" << K::years;
        QTest::newRow("negative years") << qint64(5) << std::optional<qint64>(-3) << "-3 years" << "-3y" << K::years;
        QTest::newRow("big number, no grouping") << qint64(5) << std::optional<qint64>(12345) << "12345 years" << "12345y" << K::years;
        QTest::newRow("unknown") << qint64(0) << std::optional<qint64>(4) << "Unknown" << "" << K::unknown;
        // 64-bit kinds and values: 2^32 + 5 is not years.
        QTest::newRow("kind 2^32 + 5") << qint64(4294967301) << std::optional<qint64>(2) << "Unknown" << "" << K::unknown;
        QTest::newRow("value beyond 32 bits") << qint64(5) << std::optional<qint64>(4294967298) << "4294967298 years"
                                              << "4294967298y" << K::years;
        QTest::newRow("kind -1") << qint64(-1) << std::optional<qint64>(2) << "Unknown" << "" << K::unknown;
    }

    void ageDisplayText()
    {
        QFETCH(qint64, kindRaw);
        QFETCH(std::optional<qint64>, value);
        QFETCH(QString, display);
        QFETCH(QString, compact);
        QFETCH(AgeSpec::Kind, kind);
        const AgeSpec age{kindRaw, value};
        QCOMPARE(age.displayText(), display);
        QCOMPARE(age.compactText(), compact);
        QCOMPARE(age.kind(), kind);
    }

    void ageDefaultAndHashing()
    {
        QCOMPARE(AgeSpec(), (AgeSpec{1, std::nullopt}));
        // An absent value is not 0, and hashes alike each time.
        QCOMPARE((QSet<AgeSpec>{{5, std::nullopt}, {5, 0}, {5, std::nullopt}}.size()), 2);
    }
};

QTEST_GUILESS_MAIN(MetadataEnumsTest)
#include "tst_metadataenums.moc"
