#pragma once

#include "browser/MetadataDraft.h"

#include <QDialog>
#include <QString>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The sheet in which the user names and classifies images: those being
// imported, or one existing image. It edits its own copy of a draft and
// reports the outcome as cancelled() or confirmed(); it never touches a
// model and never closes itself: the owner closes it once it has handled
// Cancel or a successful save.
//
// Return presses the confirming button (while it is enabled), Escape and
// a close the window manager asks for press "Cancel". The window has a
// title bar and no button of its own.
class MetadataEditor : public QDialog {
    Q_OBJECT
public:
    // The five pickers, in the order they are shown.
    enum class Picker { modality, region, plane, sex, ageKind };

    MetadataEditor(qsizetype imageCount, const QString &navigationTitle, const QString &headerSubtitle,
                   const QString &actionTitle, const MetadataDraft &draft, QWidget *parent = nullptr);

    qsizetype imageCount() const { return m_imageCount; }
    QString navigationTitle() const { return windowTitle(); }
    QString headerTitle() const;
    QString headerSubtitle() const;
    QString actionTitle() const;

    // The values being edited, as typed.
    const MetadataDraft &draft() const { return m_draft; }
    // What the confirming button hands on: the title trimmed, the age value
    // clamped into the range of its kind.
    MetadataDraft normalizedDraft() const { return m_draft.normalized(); }

    // The age value field's text: reading gives the value in decimal.
    // Writing (each edit of the field) keeps the typed numbers only, reads
    // them as a number (nothing or an unreadable number gives 0), clamps it
    // into the current kind's range and stores it; the field then shows the
    // value stored (an emptied field stays empty until it is left).
    QString ageValueText() const { return QString::number(m_draft.ageValue); }
    void setAgeValueText(const QString &text);
    // The field was left: it shows the value stored.
    void finishAgeValueText();
    // The numbers of a typed text, in 64 bits; 0 for nothing or what does not
    // read as the digits 0 to 9.
    static qint64 typedAgeValue(const QString &text);
    // The same, clamped into the kind's range.
    static qint64 ageValue(const QString &text, AgeSpec::Kind kind);
    // "Gestational weeks", "Months" or "Years"; none for kinds without a value.
    static std::optional<QString> ageValueLabel(AgeSpec::Kind kind);

    // The controls, for keyboard focus and tests.
    QLineEdit *titleField() const { return m_titleField; }
    QComboBox *picker(Picker picker) const;
    QWidget *ageControls() const { return m_ageControls; }
    QLabel *ageValueCaption() const { return m_ageLabel; }
    QLineEdit *ageValueField() const { return m_ageField; }
    QToolButton *ageStepper(int direction) const { return direction > 0 ? m_stepUp : m_stepDown; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *actionButton() const { return m_action; }

    // Smallest size of the sheet.
    static constexpr int minimumSheetWidth = 760;
    static constexpr int minimumSheetHeight = 520;
    static constexpr int idealSheetWidth = 800;

public slots:
    // Escape and the window manager's close: "Cancel".
    void reject() override;

signals:
    void cancelled();
    // The confirming button, with normalizedDraft().
    void confirmed(const MetadataDraft &draft);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeHeader(const QString &subtitle);
    QWidget *makeTitleSection();
    QWidget *makeClassificationSection();
    QWidget *makeDemographicsSection();
    QWidget *makePickerRow(const QString &label, QComboBox *picker);
    QWidget *makeAgeControls();
    template<class E>
    QComboBox *makePicker(const QString &label, E value, void (*store)(MetadataDraft &, E));

    void setAgeKind(AgeSpec::Kind kind);
    void stepAgeValue(int step);
    void clampAgeValue();
    void updateAgeControls();
    void updateAgeSteppers();
    static QString ageNumbers(const QString &text);
    void updateActionButton();

    qsizetype m_imageCount;
    MetadataDraft m_draft;
    QString m_headerTitle;
    QString m_headerSubtitle;

    QLineEdit *m_titleField = nullptr;
    QComboBox *m_pickers[5] = {};
    QWidget *m_ageControls = nullptr;
    QLabel *m_ageLabel = nullptr;
    QLineEdit *m_ageField = nullptr;
    QToolButton *m_stepUp = nullptr;
    QToolButton *m_stepDown = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_action = nullptr;
};
