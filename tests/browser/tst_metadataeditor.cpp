#include "BrowserTestSupport.h"

#include "browser/MetadataEditor.h"
#include "ui/AppStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <limits>
#include <memory>
#include <optional>

namespace {

// A sheet that records what its buttons report.
struct SheetHarness {
    explicit SheetHarness(const MetadataDraft &draft, qsizetype imageCount = 1)
        : sheet(imageCount, QStringLiteral("Edit"), QStringLiteral("Metadata applies to this image."),
                QStringLiteral("Save"), draft)
    {
        QObject::connect(&sheet, &MetadataEditor::cancelled, [this] { ++cancels; });
        QObject::connect(&sheet, &MetadataEditor::confirmed, [this](const MetadataDraft &confirmed) { saved = confirmed; });
        sheet.show();
    }

    int cancels = 0;
    std::optional<MetadataDraft> saved;
    MetadataEditor sheet;
};

void pick(QComboBox *picker, const QString &text)
{
    const int index = picker->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    picker->setCurrentIndex(index);
    emit picker->activated(index);
}

} // namespace

// The metadata sheet: its wording, its pickers, the title rule, the age
// value's range and text, and its keys.
class MetadataEditorTest : public QObject {
    Q_OBJECT
    using Picker = MetadataEditor::Picker;
private slots:
    void wordingFollowsTheImageCount()
    {
        SheetHarness one(MetadataDraft(QStringLiteral("Knee")));
        QCOMPARE(one.sheet.headerTitle(), QStringLiteral("Single Image"));
        QCOMPARE(one.sheet.titleField()->placeholderText(), QStringLiteral("Image title"));
        QCOMPARE(one.sheet.windowModality(), Qt::WindowModal);
        QVERIFY(one.sheet.minimumWidth() >= 760 && one.sheet.minimumHeight() >= 520);
        SheetHarness two(MetadataDraft(QStringLiteral("Knee")), 2);
        QCOMPARE(two.sheet.headerTitle(), QStringLiteral("Series Import"));
        QCOMPARE(two.sheet.titleField()->placeholderText(), QStringLiteral("Series title"));
    }

    // The header's tile is the orange, lighter towards its top.
    void theHeaderTileIsTheOrange()
    {
        SheetHarness harness(MetadataDraft(QStringLiteral("Knee")));
        auto *tile = harness.sheet.findChild<QWidget *>(QStringLiteral("iconTile"));
        QVERIFY(tile);
        const QImage drawn = tile->grab().toImage();
        const QColor bottom = drawn.pixelColor(tile->width() / 2, tile->height() - 2);
        const QColor top = drawn.pixelColor(tile->width() / 2, 1);
        const QColor orange = AppStyle::orange();
        QVERIFY2(std::abs(bottom.red() - orange.red()) <= 3 && std::abs(bottom.green() - orange.green()) <= 3
                     && std::abs(bottom.blue() - orange.blue()) <= 3,
                 qPrintable(bottom.name()));
        QVERIFY2(top.lightness() > bottom.lightness(), qPrintable(top.name()));
    }

    void pickersOfferTheSelectableCases()
    {
        MetadataDraft draft(QStringLiteral("Knee"));
        draft.plane = Plane::unknown;
        SheetHarness harness(draft);
        MetadataEditor &sheet = harness.sheet;
        QCOMPARE(pickerItems(sheet.picker(Picker::modality)), (QStringList{"DX", "CT", "MR", "NM", "PT", "US", "XA"}));
        QCOMPARE(sheet.picker(Picker::modality)->currentText(), QStringLiteral("MR"));
        QCOMPARE(pickerItems(sheet.picker(Picker::plane)), (QStringList{"Axial", "Coronal", "Sagittal", "Unspecified"}));
        // A stored unknown plane shows no choice until one is picked.
        QCOMPARE(sheet.picker(Picker::plane)->currentIndex(), -1);
        for (auto picker : {Picker::region, Picker::sex, Picker::ageKind})
            QVERIFY(!pickerItems(sheet.picker(picker)).contains(QStringLiteral("Unknown")));
        pick(sheet.picker(Picker::modality), QStringLiteral("US"));
        pick(sheet.picker(Picker::region), QStringLiteral("Pelvis"));
        pick(sheet.picker(Picker::plane), QStringLiteral("Coronal"));
        pick(sheet.picker(Picker::sex), QStringLiteral("Female"));
        QTest::mouseClick(sheet.actionButton(), Qt::LeftButton);
        QVERIFY(harness.saved);
        QCOMPARE(harness.saved->modality, Modality::us);
        QCOMPARE(harness.saved->region, Region::pelvis);
        QCOMPARE(harness.saved->plane, Plane::coronal);
        QCOMPARE(harness.saved->sex, Sex::female);
    }

    void cancelAndTheTitleRule()
    {
        SheetHarness harness(MetadataDraft(QStringLiteral("Knee")));
        MetadataEditor &sheet = harness.sheet;
        // Escape and Cancel only report; the owner closes the sheet.
        QTest::keyClick(&sheet, Qt::Key_Escape);
        QCOMPARE(harness.cancels, 1);
        QVERIFY(sheet.isVisible());
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
        QCOMPARE(harness.cancels, 2);
        // The title is trimmed, and must not be blank.
        sheet.titleField()->selectAll();
        QTest::keyClicks(sheet.titleField(), QStringLiteral(" \t "));
        QVERIFY(!sheet.actionButton()->isEnabled());
        QTest::keyClick(&sheet, Qt::Key_Return);
        QVERIFY(!harness.saved);
        sheet.titleField()->selectAll();
        QTest::keyClicks(sheet.titleField(), QStringLiteral("  Knee  "));
        QVERIFY(sheet.actionButton()->isEnabled());
        QCOMPARE(sheet.draft().title, QStringLiteral("  Knee  "));
        QTest::keyClick(&sheet, Qt::Key_Return);
        QVERIFY(harness.saved);
        QCOMPARE(harness.saved->title, QStringLiteral("Knee"));
        // The sheet keeps what was typed, and stays open for its owner.
        QCOMPARE(sheet.draft().title, QStringLiteral("  Knee  "));
        QVERIFY(sheet.isVisible());
        QCOMPARE(harness.cancels, 2);
    }

    void theAgeValueStaysInTheRangeOfItsKind()
    {
        MetadataDraft draft(QStringLiteral("Knee"));
        draft.ageKind = AgeSpec::Kind::years;
        draft.ageValue = 60;
        SheetHarness harness(draft);
        MetadataEditor &sheet = harness.sheet;
        QComboBox *kind = sheet.picker(Picker::ageKind);
        QVERIFY(sheet.ageControls()->isVisibleTo(&sheet));
        QCOMPARE(sheet.ageValueCaption()->text(), QStringLiteral("Years"));
        pick(kind, QStringLiteral("Months"));
        QCOMPARE(sheet.draft().ageValue, 17);
        QCOMPARE(sheet.ageValueField()->text(), QStringLiteral("17"));
        sheet.ageValueField()->clear();
        QTest::keyClicks(sheet.ageValueField(), QStringLiteral("0"));
        QCOMPARE(sheet.draft().ageValue, 0);
        pick(kind, QStringLiteral("Fetal"));
        QCOMPARE(sheet.draft().ageValue, 1);
        QCOMPARE(sheet.ageValueCaption()->text(), QStringLiteral("Gestational weeks"));
        // The steppers and the arrow keys stay within the range.
        pick(kind, QStringLiteral("Years"));
        sheet.ageValueField()->setText(QStringLiteral("120"));
        sheet.setAgeValueText(QStringLiteral("120"));
        QVERIFY(!sheet.ageStepper(1)->isEnabled());
        QTest::mouseClick(sheet.ageStepper(-1), Qt::LeftButton);
        QCOMPARE(sheet.draft().ageValue, 119);
        QTest::keyClick(sheet.ageValueField(), Qt::Key_Up);
        QCOMPARE(sheet.draft().ageValue, 120);
        // Kinds without a value hide the row and keep the value.
        pick(kind, QStringLiteral("Neonate"));
        QVERIFY(!sheet.ageControls()->isVisibleTo(&sheet));
        QCOMPARE(sheet.draft().ageValue, 120);
        QTest::mouseClick(sheet.actionButton(), Qt::LeftButton);
        QVERIFY(harness.saved);
        QCOMPARE(harness.saved->ageSpec(), (AgeSpec{3, std::nullopt}));
    }

    void typedAgeTexts()
    {
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("-5"), AgeSpec::Kind::years), 5);
        QCOMPARE(MetadataEditor::ageValue(QString(), AgeSpec::Kind::months), 0);
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("abc"), AgeSpec::Kind::fetal), 1);
        QCOMPARE(MetadataEditor::typedAgeValue(QStringLiteral("3000000000")), 3000000000);
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("99999999999999999999"), AgeSpec::Kind::years), 0);
        // Numbers that are not the digits 0 to 9 do not read as a number.
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("٣"), AgeSpec::Kind::years), 0);
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("4½"), AgeSpec::Kind::years), 0);
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("44"), AgeSpec::Kind::fetal), 44);
        QCOMPARE(MetadataEditor::ageValue(QStringLiteral("46"), AgeSpec::Kind::fetal), 45);
    }

    void typingAnAgeClampsOnEveryEdit_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QString>("keys"); // \b: Backspace
        QTest::addColumn<QString>("typed");  // the field's text after the keys
        QTest::addColumn<qint64>("stored");  // the draft's value after the keys
        QTest::addColumn<qint64>("left");
        QTest::addColumn<qint64>("confirmed");
        const int fetal = int(AgeSpec::Kind::fetal), months = int(AgeSpec::Kind::months),
                  years = int(AgeSpec::Kind::years);
        QTest::newRow("25 weeks after clearing") << fetal << qint64(30) << QStringLiteral("\b\b25") << "25" << qint64(25)
                                                 << qint64(25) << qint64(25);
        // Emptied: the range's lowest value is stored at once, the field
        // stays empty until it is left.
        QTest::newRow("cleared and left") << fetal << qint64(30) << QStringLiteral("\b\b") << "" << qint64(1)
                                          << qint64(1) << qint64(1);
        QTest::newRow("cleared, years") << years << qint64(30) << QStringLiteral("\b\b") << "" << qint64(0) << qint64(0)
                                        << qint64(0);
        QTest::newRow("letters dropped, clamped as typed") << years << qint64(30) << QStringLiteral("\b\b12a3") << "120"
                                                            << qint64(120) << qint64(120) << qint64(120);
        QTest::newRow("months past the range") << months << qint64(5) << QStringLiteral("\b18") << "17" << qint64(17)
                                               << qint64(17) << qint64(17);
        QTest::newRow("zero weeks") << fetal << qint64(30) << QStringLiteral("\b\b0") << "1" << qint64(1) << qint64(1)
                                    << qint64(1);
        QTest::newRow("leading zeros") << years << qint64(30) << QStringLiteral("\b\b007") << "7" << qint64(7)
                                       << qint64(7) << qint64(7);
        // Out of range as stored: left as it is until it is edited, clamped
        // when confirmed.
        QTest::newRow("visited, not edited") << fetal << qint64(50) << QString() << "50" << qint64(50) << qint64(50)
                                             << qint64(45);
        QTest::newRow("beyond 32 bits") << years << qint64(30) << QStringLiteral("\b\b3000000000") << "120"
                                        << qint64(120) << qint64(120) << qint64(120);
    }

    void typingAnAgeClampsOnEveryEdit()
    {
        QFETCH(int, kind);
        QFETCH(qint64, start);
        QFETCH(QString, keys);
        QFETCH(QString, typed);
        QFETCH(qint64, stored);
        QFETCH(qint64, left);
        QFETCH(qint64, confirmed);
        MetadataDraft draft(QStringLiteral("Scan"));
        draft.ageKind = AgeSpec::Kind(kind);
        draft.ageValue = start;
        SheetHarness harness(draft);
        MetadataEditor &sheet = harness.sheet;
        QApplication::setActiveWindow(&sheet);
        QVERIFY(QTest::qWaitForWindowActive(&sheet));
        QLineEdit *field = sheet.ageValueField();
        field->setFocus();
        field->end(false);
        for (const QChar key : keys) {
            if (key == QLatin1Char('\b'))
                QTest::keyClick(field, Qt::Key_Backspace);
            else
                QTest::keyClicks(field, QString(key));
            // Every edit leaves a value within the range in the draft.
            const auto [lowest, highest] = MetadataDraft::ageValueRange(AgeSpec::Kind(kind));
            QVERIFY(sheet.draft().ageValue >= lowest && sheet.draft().ageValue <= highest);
        }
        QCOMPARE(field->text(), typed);
        QCOMPARE(sheet.draft().ageValue, stored);
        sheet.titleField()->setFocus();
        QCOMPARE(sheet.draft().ageValue, left);
        QCOMPARE(field->text(), QString::number(left));
        QTest::keyClick(&sheet, Qt::Key_Return);
        QCOMPARE(harness.saved.value_or(MetadataDraft()).ageValue, confirmed);
    }

    // The title field has no clear button; the age field's digits share
    // one width, whatever the font.
    void theFieldsLookAsTheyShould_data()
    {
        QTest::addColumn<QString>("family"); // empty: the application's font as it is
        QTest::newRow("the application's font") << QString();
        for (const QString &family : QFontDatabase::families())
            QTest::newRow(qPrintable(family)) << family;
    }

    void theFieldsLookAsTheyShould()
    {
        QFETCH(QString, family);
        const QFont before = QApplication::font();
        if (!family.isEmpty())
            QApplication::setFont(QFont(family));
        MetadataDraft draft(QStringLiteral("Scan"));
        draft.ageKind = AgeSpec::Kind::years;
        SheetHarness harness(draft);
        QApplication::setFont(before);
        QVERIFY(!harness.sheet.titleField()->isClearButtonEnabled());
        const QFontMetricsF metrics(harness.sheet.ageValueField()->font());
        for (char digit = '1'; digit <= '9'; ++digit)
            QCOMPARE(metrics.horizontalAdvance(QLatin1Char(digit)), metrics.horizontalAdvance(QLatin1Char('0')));
    }

    void steppingStopsAtTheEndsOfTheRange_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("step");
        QTest::addColumn<qint64>("stepped");
        const qint64 most = std::numeric_limits<qint64>::max(), least = std::numeric_limits<qint64>::min();
        QTest::newRow("up from the 32-bit limit") << qint64(std::numeric_limits<int>::max()) << 1 << qint64(120);
        QTest::newRow("up from the 64-bit limit") << most << 1 << qint64(120);
        QTest::newRow("down from the 64-bit limit") << most << -1 << qint64(119);
        QTest::newRow("down from the lowest 64-bit value") << least << -1 << qint64(0);
        QTest::newRow("up from the lowest 64-bit value") << least << 1 << qint64(1);
    }

    void steppingStopsAtTheEndsOfTheRange()
    {
        QFETCH(qint64, value);
        QFETCH(int, step);
        QFETCH(qint64, stepped);
        MetadataDraft draft(QStringLiteral("Scan"));
        draft.ageKind = AgeSpec::Kind::years;
        draft.ageValue = value;
        SheetHarness harness(draft);
        // Shown as stored, all 64 bits of it.
        QCOMPARE(harness.sheet.ageValueField()->text(), QString::number(value));
        QTest::keyClick(harness.sheet.ageValueField(), step > 0 ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(harness.sheet.draft().ageValue, stepped);
    }
};

QTEST_MAIN(MetadataEditorTest)
#include "tst_metadataeditor.moc"
