#include "shell/ApplicationMenu.h"

#include "about/AboutWindowController.h"
#include "appkit/NSApplication.h"
#include "updates/UpdaterController.h"

#include <QAction>
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
    return menu;
}
