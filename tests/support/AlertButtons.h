#pragma once

#include "ui/AlertDialog.h"

#include <QPushButton>
#include <QStringList>

#include <algorithm>

// The titles of an alert's buttons from left to right, as its row shows them.
inline QStringList laidOutButtonTitles(const AlertDialog &alert)
{
    QList<QPushButton *> buttons = alert.buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](const QPushButton *a, const QPushButton *b) { return a->x() < b->x(); });
    QStringList titles;
    for (const QPushButton *button : buttons)
        titles << button->text();
    return titles;
}

// The default button's title: what Return presses; empty when none.
inline QString defaultButtonTitle(const AlertDialog &alert)
{
    const QPushButton *button = alert.defaultButton();
    return button ? button->text() : QString();
}
