#include "appkit/NSWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

std::optional<QRect> NSWindowController::mainScreenFrame(const QList<QRect> &screens, int xInset, int yInset)
{
    if (screens.size() < 2)
        return std::nullopt;
    return screens.first().adjusted(xInset, yInset, -xInset, -yInset);
}

void NSWindowController::moveWindowToMainScreen(QWidget &window, int xInset, int yInset)
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    if (const auto frame = mainScreenFrame(screens, xInset, yInset))
        window.setGeometry(*frame);
}
