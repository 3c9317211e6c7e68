#include "appkit/NSApplication.h"

#include "foundation/Bundle.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
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

QWidget *NSApplication::mainWindow()
{
    if (auto *active = qobject_cast<QMainWindow *>(QApplication::activeWindow()))
        return active;
    for (QWidget *window : visibleWindows()) {
        if (qobject_cast<QMainWindow *>(window))
            return window;
    }
    return nullptr;
}

QMenu *NSApplication::applicationMenu(QMenuBar &menuBar)
{
    const QString title = Bundle::main().applicationName().value_or(QCoreApplication::applicationName());
    for (QAction *action : menuBar.actions()) {
        if (action->menu() && action->text() == title)
            return action->menu();
    }
    return menuBar.addMenu(title);
}
