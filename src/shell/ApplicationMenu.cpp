#include "shell/ApplicationMenu.h"

#include "updates/UpdaterController.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

QMenu *ApplicationMenu::install(QMenuBar *menuBar, const Commands &commands)
{
    // "Check for Updates…" comes with the menu.
    QAction *checkForUpdates = installUpdateCommands(menuBar);
    QMenu *menu = nullptr;
    for (QObject *holder : checkForUpdates->associatedObjects()) {
        if (auto *found = qobject_cast<QMenu *>(holder))
            menu = found;
    }
    if (commands.settings) {
        menu->addSeparator();
        menu->addAction(commands.settings);
    }
    return menu;
}
