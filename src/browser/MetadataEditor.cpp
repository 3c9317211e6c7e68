#include "browser/MetadataEditor.h"

#include "browser/EditorSection.h"
#include "platform/LocalizedText.h"
#include "ui/AppStyle.h"
#include "ui/SheetFrame.h"
#include "ui/SystemSymbol.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The header's panel: a slightly tinted, rounded background.
class HeaderPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(path, AppStyle::quaternary(palette()));
    }
};

// The header's icon: a white symbol on an orange gradient tile.
class IconTile final : public QWidget {
public:
    IconTile(const QString &symbol, QWidget *parent)
        : QWidget(parent)
        , m_symbol(symbol)
    {
        setFixedSize(44, 44);
        setObjectName(QStringLiteral("iconTile"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The orange, lighter at the top.
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, AppStyle::orange().lighter(115));
        gradient.setColorAt(1, AppStyle::orange());
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(path, gradient);
        // About the size of a 22-point symbol.
        SystemSymbol::paint(painter, m_symbol, QRectF(rect()).adjusted(10, 10, -10, -10), Qt::white);
    }

private:
    QString m_symbol;
};

// Up and down arrows that step the age value, stacked like a stepper.
QToolButton *stepperButton(Qt::ArrowType arrow, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFixedSize(18, 13);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAccessibleName(name);
    return button;
}

template<MetadataEnum E>
void fillPicker(QComboBox &picker, E value)
{
    for (E option : selectableCases<E>())
        picker.addItem(title(option), QVariant::fromValue(rawValue(option)));
    // A value the picker does not offer (unknown) shows no choice.
    picker.setCurrentIndex(picker.findData(QVariant::fromValue(rawValue(value))));
}

QLabel *secondaryLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    AppStyle::makeSecondary(*label);
    return label;
}

} // namespace

MetadataEditor::MetadataEditor(qsizetype imageCount, const QString &navigationTitle, const QString &headerSubtitle,
                               const QString &actionTitle, const MetadataDraft &draft, QWidget *parent)
    : QDialog(parent)
    , m_imageCount(imageCount)
    , m_draft(draft)
    , m_headerTitle(imageCount == 1 ? QStringLiteral("Single Image") : QStringLiteral("Series Import"))
    , m_headerSubtitle(headerSubtitle)
{
    setWindowTitle(navigationTitle);
    setWindowModality(Qt::WindowModal);
    // A sheet: a title bar and nothing more; Cancel and Escape end it.
    SheetFrame::install(*this);
    setMinimumSize(minimumSheetWidth, minimumSheetHeight);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The scrolling content.
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // The form's fields are the Tab stops; the area scrolls to the one with
    // the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *content = new QWidget(scroll);
    content->setBackgroundRole(QPalette::Window);
    content->setAutoFillBackground(true);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    column->addWidget(makeHeader(headerSubtitle));
    column->addWidget(makeTitleSection());
    auto *row = new QHBoxLayout;
    row->setSpacing(14);
    row->addWidget(makeClassificationSection(), 1, Qt::AlignTop);
    row->addWidget(makeDemographicsSection(), 1, Qt::AlignTop);
    column->addLayout(row);
    column->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    // The buttons: "Cancel", then the confirming one.
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(18, 12, 18, 14);
    buttons->setSpacing(10);
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_cancel->setMinimumWidth(96);
    buttons->addWidget(m_cancel);
    m_action = new QPushButton(actionTitle, this);
    m_action->setDefault(true);
    m_action->setMinimumWidth(96);
    buttons->addWidget(m_action);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &MetadataEditor::cancelled);
    connect(m_action, &QPushButton::clicked, this, [this] {
        if (m_action->isEnabled())
            emit confirmed(normalizedDraft());
    });

    updateAgeControls();
    updateActionButton();
    resize(idealSheetWidth, std::max(minimumSheetHeight, sizeHint().height()));
    m_titleField->setFocus();
}

QString MetadataEditor::headerTitle() const
{
    return m_headerTitle;
}

QString MetadataEditor::headerSubtitle() const
{
    return m_headerSubtitle;
}

QString MetadataEditor::actionTitle() const
{
    return m_action->text();
}

QComboBox *MetadataEditor::picker(Picker picker) const
{
    return m_pickers[int(picker)];
}

void MetadataEditor::reject()
{
    emit cancelled();
}

bool MetadataEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ageField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepAgeValue(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QWidget *MetadataEditor::makeHeader(const QString &subtitle)
{
    auto *header = new HeaderPanel(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    row->addWidget(new IconTile(m_imageCount == 1 ? QStringLiteral("photo") : QStringLiteral("square.stack.3d.up"),
                                header));
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto *title = new QLabel(m_headerTitle, header);
    title->setFont(AppStyle::headline());
    texts->addWidget(title);
    auto *subtitleLabel = secondaryLabel(subtitle, AppStyle::subheadline(), header);
    subtitleLabel->setWordWrap(true);
    texts->addWidget(subtitleLabel);
    row->addLayout(texts, 1);
    return header;
}

QWidget *MetadataEditor::makeTitleSection()
{
    auto *section = new EditorSection(QStringLiteral("Label"), QStringLiteral("textformat"), this);
    const QString caption = m_imageCount == 1 ? QStringLiteral("Image title") : QStringLiteral("Series title");
    auto *column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(secondaryLabel(caption, AppStyle::withWeight(AppStyle::caption(), QFont::DemiBold),
                                     section));
    m_titleField = new QLineEdit(m_draft.title, section);
    m_titleField->setPlaceholderText(caption);
    m_titleField->setAccessibleName(caption);
    column->addWidget(m_titleField);
    section->contentLayout()->addLayout(column);
    connect(m_titleField, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_draft.title = text;
        updateActionButton();
    });
    return section;
}

template<class E>
QComboBox *MetadataEditor::makePicker(const QString &label, E value, void (*store)(MetadataDraft &, E))
{
    auto *picker = new QComboBox(this);
    picker->setAccessibleName(label);
    picker->setMaximumWidth(260);
    picker->setMinimumWidth(150);
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    fillPicker(*picker, value);
    connect(picker, &QComboBox::activated, this, [this, picker, store](int index) {
        store(m_draft, caseFromRaw<E>(picker->itemData(index).toLongLong()));
    });
    return picker;
}

QWidget *MetadataEditor::makePickerRow(const QString &label, QComboBox *picker)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(secondaryLabel(label, AppStyle::withWeight(AppStyle::callout(), QFont::Medium), row));
    layout->addStretch(1);
    picker->setParent(row);
    layout->addWidget(picker, 0, Qt::AlignRight);
    return row;
}

QWidget *MetadataEditor::makeClassificationSection()
{
    auto *section = new EditorSection(QStringLiteral("Classification"), QStringLiteral("rectangle.3.group"), this);
    auto *column = new QVBoxLayout;
    column->setSpacing(12);
    m_pickers[int(Picker::modality)] = makePicker<Modality>(
        QStringLiteral("Modality"), m_draft.modality, [](MetadataDraft &d, Modality v) { d.modality = v; });
    m_pickers[int(Picker::region)] = makePicker<Region>(QStringLiteral("Region"), m_draft.region,
                                                        [](MetadataDraft &d, Region v) { d.region = v; });
    m_pickers[int(Picker::plane)] = makePicker<Plane>(QStringLiteral("Plane"), m_draft.plane,
                                                      [](MetadataDraft &d, Plane v) { d.plane = v; });
    column->addWidget(makePickerRow(QStringLiteral("Modality"), m_pickers[int(Picker::modality)]));
    column->addWidget(makePickerRow(QStringLiteral("Region"), m_pickers[int(Picker::region)]));
    column->addWidget(makePickerRow(QStringLiteral("Plane"), m_pickers[int(Picker::plane)]));
    section->contentLayout()->addLayout(column);
    return section;
}

QWidget *MetadataEditor::makeDemographicsSection()
{
    auto *section = new EditorSection(QStringLiteral("Demographics"), QStringLiteral("person.text.rectangle"), this);
    auto *column = new QVBoxLayout;
    column->setSpacing(14);
    m_pickers[int(Picker::sex)] =
        makePicker<Sex>(QStringLiteral("Sex"), m_draft.sex, [](MetadataDraft &d, Sex v) { d.sex = v; });
    // The kind's own handler also clamps the value and shows or hides its row.
    m_pickers[int(Picker::ageKind)] =
        makePicker<AgeSpec::Kind>(QStringLiteral("Age"), m_draft.ageKind, [](MetadataDraft &, AgeSpec::Kind) {});
    connect(m_pickers[int(Picker::ageKind)], &QComboBox::activated, this, [this](int index) {
        setAgeKind(caseFromRaw<AgeSpec::Kind>(m_pickers[int(Picker::ageKind)]->itemData(index).toLongLong()));
    });
    column->addWidget(makePickerRow(QStringLiteral("Sex"), m_pickers[int(Picker::sex)]));
    column->addWidget(makePickerRow(QStringLiteral("Age"), m_pickers[int(Picker::ageKind)]));
    column->addWidget(makeAgeControls());
    section->contentLayout()->addLayout(column);
    return section;
}

QWidget *MetadataEditor::makeAgeControls()
{
    m_ageControls = new QWidget(this);
    auto *layout = new QHBoxLayout(m_ageControls);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_ageLabel = new QLabel(m_ageControls);
    m_ageLabel->setFont(AppStyle::withWeight(AppStyle::callout(), QFont::Medium));
    layout->addWidget(m_ageLabel);
    layout->addStretch(1);
    m_ageField = new QLineEdit(m_ageControls);
    m_ageField->setFixedWidth(72);
    m_ageField->setAlignment(Qt::AlignRight);
    m_ageField->setFont(AppStyle::withMonospacedDigits(m_ageField->font()));
    layout->addWidget(m_ageField);
    auto *stepper = new QVBoxLayout;
    stepper->setSpacing(0);
    m_stepUp = stepperButton(Qt::UpArrow, QStringLiteral("Increment"), m_ageControls);
    m_stepDown = stepperButton(Qt::DownArrow, QStringLiteral("Decrement"), m_ageControls);
    stepper->addWidget(m_stepUp);
    stepper->addWidget(m_stepDown);
    layout->addLayout(stepper);
    // Up and down in the field step as the arrows do.
    m_ageField->installEventFilter(this);
    connect(m_ageField, &QLineEdit::textEdited, this, &MetadataEditor::setAgeValueText);
    connect(m_ageField, &QLineEdit::editingFinished, this, &MetadataEditor::finishAgeValueText);
    connect(m_stepUp, &QToolButton::clicked, this, [this] { stepAgeValue(1); });
    connect(m_stepDown, &QToolButton::clicked, this, [this] { stepAgeValue(-1); });
    return m_ageControls;
}

std::optional<QString> MetadataEditor::ageValueLabel(AgeSpec::Kind kind)
{
    switch (kind) {
    case AgeSpec::Kind::fetal:
        return QStringLiteral("Gestational weeks");
    case AgeSpec::Kind::months:
        return QStringLiteral("Months");
    case AgeSpec::Kind::years:
        return QStringLiteral("Years");
    default:
        return std::nullopt;
    }
}

QString MetadataEditor::ageNumbers(const QString &text)
{
    QString numbers;
    for (const QChar character : text) {
        if (character.isNumber())
            numbers.append(character);
    }
    return numbers;
}

qint64 MetadataEditor::typedAgeValue(const QString &text)
{
    const QString numbers = ageNumbers(text);
    // Only the digits 0 to 9 read as a number; anything else, or a number
    // too large for 64 bits, reads as 0.
    const bool ascii = std::all_of(numbers.cbegin(), numbers.cend(),
                                   [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    bool ok = false;
    const qint64 parsed = ascii && !numbers.isEmpty() ? numbers.toLongLong(&ok) : 0;
    return ok ? parsed : 0;
}

qint64 MetadataEditor::ageValue(const QString &text, AgeSpec::Kind kind)
{
    return MetadataDraft::clampedAgeValue(typedAgeValue(text), kind);
}

void MetadataEditor::setAgeValueText(const QString &text)
{
    m_draft.ageValue = ageValue(text, m_draft.ageKind);
    // The field shows the value it stores. An emptied field stays empty
    // while it is typed into, so that another number can be typed in
    // place of the range's lowest; once left it shows the value.
    const QString numbers = ageNumbers(text);
    const QString shown = numbers.isEmpty() ? QString() : ageValueText();
    if (m_ageField->text() != shown) {
        const int cursor = int(ageNumbers(text.left(m_ageField->cursorPosition())).size());
        m_ageField->setText(shown);
        m_ageField->setCursorPosition(std::min(cursor, int(shown.size())));
    }
    updateAgeSteppers();
}

void MetadataEditor::finishAgeValueText()
{
    // (A value the user has not edited stays as it is, out of its range
    // too, until the sheet is confirmed.)
    updateAgeControls();
}

void MetadataEditor::setAgeKind(AgeSpec::Kind kind)
{
    if (kind == m_draft.ageKind)
        return;
    m_draft.ageKind = kind;
    clampAgeValue();
    updateAgeControls();
}

void MetadataEditor::stepAgeValue(int step)
{
    // From the value as the range allows it, so no step overflows.
    const qint64 from = MetadataDraft::clampedAgeValue(m_draft.ageValue, m_draft.ageKind);
    m_draft.ageValue = MetadataDraft::clampedAgeValue(from + step, m_draft.ageKind);
    updateAgeControls();
}

void MetadataEditor::clampAgeValue()
{
    m_draft.ageValue = MetadataDraft::clampedAgeValue(m_draft.ageValue, m_draft.ageKind);
}

void MetadataEditor::updateAgeControls()
{
    const std::optional<QString> label = ageValueLabel(m_draft.ageKind);
    m_ageControls->setVisible(label.has_value());
    if (!label)
        return;
    m_ageLabel->setText(*label);
    m_ageField->setPlaceholderText(*label);
    m_ageField->setAccessibleName(*label);
    const QString text = ageValueText();
    if (m_ageField->text() != text)
        m_ageField->setText(text);
    updateAgeSteppers();
}

void MetadataEditor::updateAgeSteppers()
{
    const auto [lowest, highest] = MetadataDraft::ageValueRange(m_draft.ageKind);
    m_stepUp->setEnabled(m_draft.ageValue < highest);
    m_stepDown->setEnabled(m_draft.ageValue > lowest);
}

void MetadataEditor::updateActionButton()
{
    m_action->setEnabled(!trimmingWhitespaceAndNewlines(m_draft.title).isEmpty());
}
