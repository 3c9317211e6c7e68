#pragma once

#include <QString>

#include <optional>

class QMessageBox;
class QPushButton;
class QWidget;

struct NSAlert {
    // A message box with the message, the information when given, and one
    // "OK" button.
    static QMessageBox *makeInfoAlert(const QString &message, const std::optional<QString> &information,
                                      QWidget *parent = nullptr);
    // Shows that box modally; the answer is ignored.
    static void showModalInfoAlert(const QString &message, const std::optional<QString> &information = std::nullopt,
                                   QWidget *parent = nullptr);
    // Adds a destructive "Delete" button.
    static QPushButton *addDeleteButton(QMessageBox &alert);
};
