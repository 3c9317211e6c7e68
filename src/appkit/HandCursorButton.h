#pragma once

#include <QPushButton>

// A push button that shows the pointing-hand cursor while the pointer is
// over it, as a link does.
class HandCursorButton : public QPushButton {
    Q_OBJECT
public:
    explicit HandCursorButton(QWidget *parent = nullptr);
    explicit HandCursorButton(const QString &text, QWidget *parent = nullptr);
};
