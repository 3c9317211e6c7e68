#include "shell/ApplicationMenu.h"

#include "about/AboutWindowController.h"
#include "appkit/NSApplication.h"
#include "updates/UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

QMenu *ApplicationMenu::install(QMenuBar *menuBar, const Commands &commands)
{
    QMenu *menu = NSApplication::applicationMenu(*menuBar);
    installUpdateCommands(menuBar);
    installAboutCommand(menuBar); // goes first
    if (commands.settings) {
        menu->addSeparator();
        menu->addAction(commands.settings);
    }
    menu->addSeparator();
    QAction *quit = menu->addAction(QStringLiteral("Quit Veloran"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    QObject::connect(quit, &QAction::triggered, quit, [] { QApplication::closeAllWindows(); });
    // The application's commands answer their keys from any of its windows
    // (Settings, About), not only from this one.
    for (QAction *item : menu->actions())
        item->setShortcutContext(Qt::ApplicationShortcut);
    return menu;
}
