#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// A window-modal alert: a bold title, an optional message, an optional text
// field and a row of buttons in the given order. Any button closes the
// alert and then reports itself through buttonPressed(), once per alert.
// Return presses the default button, the first one that is not a cancel
// button (or the cancel button when it is the only one); Escape and the
// close button press the cancel button, or just close the alert when there
// is none. Closing the alert with done() reports nothing.
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

    // The buttons, in order.
    const QList<QPushButton *> &buttons() const { return m_buttons; }
    QPushButton *button(const QString &title) const;
    QPushButton *defaultButton() const;

    static constexpr int alertWidth = 420;

public slots:
    void reject() override;

signals:
    // The button at `index` of the constructor's list was pressed.
    void buttonPressed(int index);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void press(int index);

    QList<Button> m_specs;
    QList<QPushButton *> m_buttons;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QLineEdit *m_field = nullptr;
    bool m_pressed = false;
};
