#include "appkit/HandCursorButton.h"

HandCursorButton::HandCursorButton(QWidget *parent) : HandCursorButton(QString(), parent)
{
}

HandCursorButton::HandCursorButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setCursor(Qt::PointingHandCursor);
}
