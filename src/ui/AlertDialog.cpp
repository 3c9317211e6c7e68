#include "ui/AlertDialog.h"

#include "ui/AppStyle.h"
#include "ui/FocusRingOverlay.h"
#include "ui/SheetFrame.h"
#include "ui/SheetPlacement.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const QColor destructiveRed(215, 45, 40);

// The window's frame around its content: the title bar and borders.
QMargins frameMargins(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    const QRect content = window.geometry();
    return {content.left() - frame.left(), content.top() - frame.top(), frame.right() - content.right(),
            frame.bottom() - content.bottom()};
}

} // namespace

AlertDialog::AlertDialog(const QString &title, const QString &message, const QList<Button> &buttons,
                         QWidget *parent)
    : QDialog(parent)
    , m_specs(buttons)
{
    setWindowTitle(QGuiApplication::applicationDisplayName());
    setWindowModality(Qt::WindowModal);
    if (parent)
        SheetFrame::install(*this);
    else
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(8);
    m_title = new QLabel(title, this);
    QFont titleFont = AppStyle::withWeight(AppStyle::body(), QFont::Bold);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.1);
    m_title->setFont(titleFont);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);
    m_message = new QLabel(message, this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setVisible(!message.isEmpty());
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_message);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 12, 0, 0);
    row->setSpacing(8);
    row->addStretch(1);
    qsizetype confirming = -1;
    qsizetype firstCancel = -1;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons.at(i).role == Role::cancel)
            firstCancel = firstCancel < 0 ? i : firstCancel;
        else if (confirming < 0)
            confirming = i;
    }
    // Return never destroys.
    const qsizetype defaultIndex =
        confirming >= 0 && buttons.at(confirming).role == Role::plain ? confirming : firstCancel;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        auto *button = new QPushButton(buttons.at(i).title, this);
        button->setMinimumWidth(88);
        button->setAutoDefault(false);
        button->setDefault(i == defaultIndex);
        if (buttons.at(i).role == Role::destructive) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, destructiveRed);
            button->setPalette(palette);
        }
        connect(button, &QPushButton::clicked, this, [this, i] { press(int(i)); });
        m_buttons.append(button);
    }
    // The others, the cancel buttons, the confirming one.
    for (const bool cancels : {false, true}) {
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            if ((buttons.at(i).role == Role::cancel) == cancels && i != confirming)
                row->addWidget(m_buttons.at(i));
        }
    }
    if (confirming >= 0)
        row->addWidget(m_buttons.at(confirming));
    layout->addLayout(row);
    setFixedWidth(alertWidth);
}

QString AlertDialog::title() const
{
    return m_title->text();
}

QString AlertDialog::message() const
{
    return m_message->text();
}

QLineEdit *AlertDialog::addTextField(const QString &prompt, const QString &text)
{
    if (!m_field) {
        m_field = new QLineEdit(text, this);
        m_field->setPlaceholderText(prompt);
        m_field->setAccessibleName(prompt);
        static_cast<QVBoxLayout *>(layout())->insertWidget(2, m_field);
        m_field->selectAll();
        m_field->setFocus();
    }
    return m_field;
}

void AlertDialog::addDetails(const QString &text)
{
    auto *details = new QPlainTextEdit(text, this);
    details->setReadOnly(true);
    details->setMaximumHeight(140);
    // A Tab stop, for scrolling by the keys; its text covers it, so the
    // ring is laid over it.
    new FocusRingOverlay(details);
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    layout->insertWidget(layout->indexOf(m_message) + 1, details);
}

QPushButton *AlertDialog::button(const QString &title) const
{
    for (QPushButton *button : m_buttons) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

QPushButton *AlertDialog::defaultButton() const
{
    for (QPushButton *button : m_buttons) {
        if (button->isDefault())
            return button;
    }
    return nullptr;
}

void AlertDialog::showEvent(QShowEvent *event)
{
    // As tall as the wrapped texts need, and not resizable.
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(alertWidth)
                                                     : layout()->totalSizeHint().height();
    setFixedHeight(height);
    QDialog::showEvent(event);
    placeAsSheet();
}

void AlertDialog::keepUncovered(const QRect &area)
{
    m_uncovered = area;
    if (isVisible())
        placeAsSheet();
}

void AlertDialog::placeAsSheet()
{
    if (!parentWidget())
        return;
    const QWidget *window = parentWidget()->window();
    // Not framed yet: as deep a frame as the parent window's.
    const QMargins known = frameMargins(*this);
    const QMargins frame = known.isNull() ? frameMargins(*window) : known;
    m_placedFrame = frame;
    const QScreen *screen = window->screen();
    const SheetPlacement placement{window->geometry(), screen ? screen->availableGeometry() : QRect(),
                                   size().grownBy(frame), m_uncovered};
    // move() places the frame it knows of, none before the frame is there.
    move(placement.framePosition() + QPoint(frame.left() - known.left(), frame.top() - known.top()));
}

void AlertDialog::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    // The window manager has framed the alert since it was placed.
    if (isVisible() && frameMargins(*this) != m_placedFrame && !frameMargins(*this).isNull())
        placeAsSheet();
}

void AlertDialog::reject()
{
    for (qsizetype i = 0; i < m_specs.size(); ++i) {
        if (m_specs.at(i).role == Role::cancel) {
            press(int(i));
            return;
        }
    }
    QDialog::reject();
}

void AlertDialog::press(int index)
{
    // One answer per alert, also when its action closes it again.
    if (m_pressed)
        return;
    m_pressed = true;
    done(m_specs.at(index).role == Role::cancel ? QDialog::Rejected : QDialog::Accepted);
    emit buttonPressed(index);
}
