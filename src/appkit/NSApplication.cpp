#include "appkit/NSApplication.h"

#include <QApplication>
#include <QPalette>
#include <QSysInfo>
#include <QWidget>

bool NSAppearance::isDarkMode(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool NSApplication::isDarkMode()
{
    return NSAppearance::isDarkMode(QApplication::palette());
}

QString NSApplication::machineName()
{
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("?") : name;
}

QList<QWidget *> NSApplication::visibleWindows()
{
    QList<QWidget *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->isVisible())
            windows.append(widget);
    }
    return windows;
}
