#pragma once

#include <QDialog>
#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// A window-modal alert: a bold title, an optional message, an optional text
// field and a row of buttons. Any button closes the alert and then reports
// itself through buttonPressed(), once per alert.
//
// The confirming button is the first one that is not a cancel button. The
// row holds the buttons in the desktop's order: the others as given, then
// the cancel buttons, the confirming one last. Return presses the default
// button: the confirming one, but never a destructive one, which leaves it
// to the first cancel button (or to none when there is no cancel button).
// Escape and the close button (or the window manager's close) press the
// cancel button, or just close the alert when there is none. Closing the
// alert with done() reports nothing.
//
// With a parent, the alert is a sheet of the parent's window, with a title
// bar and no button of its own (SheetFrame), placed by SheetPlacement:
// centred at its top, unless that would cover the area it is to keep
// uncovered (the point the user just placed). Its title bar counts: until
// the window manager has framed the alert, its frame is taken to be as
// deep as the parent window's, and the alert is placed again once the real
// frame is known. Without a parent its title bar has a close button.
class AlertDialog : public QDialog {
    Q_OBJECT
public:
    enum class Role { plain, cancel, destructive };

    struct Button {
        QString title;
        Role role = Role::plain;
    };

    AlertDialog(const QString &title, const QString &message, const QList<Button> &buttons,
                QWidget *parent = nullptr);

    QString title() const;
    QString message() const;

    // Adds a text field under the message, with a prompt shown while empty.
    QLineEdit *addTextField(const QString &prompt, const QString &text);
    QLineEdit *textField() const { return m_field; }

    // Adds a read-only, scrolling text (such as release notes) under the message.
    void addDetails(const QString &text);

    // The buttons, in the order the constructor was given them.
    const QList<QPushButton *> &buttons() const { return m_buttons; }
    QPushButton *button(const QString &title) const;
    QPushButton *defaultButton() const;

    // The area of the screen, in global coordinates, that the sheet keeps
    // uncovered.
    void keepUncovered(const QRect &area);

    static constexpr int alertWidth = 420;

public slots:
    void reject() override;

signals:
    // The button at `index` of the constructor's list was pressed.
    void buttonPressed(int index);

protected:
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void press(int index);
    void placeAsSheet();

    QList<Button> m_specs;
    QList<QPushButton *> m_buttons;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QLineEdit *m_field = nullptr;
    bool m_pressed = false;
    QRect m_uncovered;
    // The frame the alert was last placed with.
    QMargins m_placedFrame;
};
