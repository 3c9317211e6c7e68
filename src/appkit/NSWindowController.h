#pragma once

#include <QList>
#include <QRect>

#include <optional>

class QWidget;

struct NSWindowController {
    // With two or more screens: the first screen's geometry inset by
    // `xInset` and `yInset` on each side; none with a single screen.
    static std::optional<QRect> mainScreenFrame(const QList<QRect> &screens, int xInset, int yInset);
    // Moves the window onto the first screen when there are several.
    static void moveWindowToMainScreen(QWidget &window, int xInset, int yInset);
};
