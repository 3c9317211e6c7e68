#include "shell/ApplicationMenu.h"

#include "updates/UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

void installApplicationMenu(QMenuBar *menuBar)
{
    QMenu *menu = menuBar->addMenu(QStringLiteral("Veloran"));
    installUpdateCommands(menuBar); // into the menu above, by its title
    menu->addSeparator();
    QAction *quit = menu->addAction(QStringLiteral("Quit Veloran"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    QObject::connect(quit, &QAction::triggered, quit, [] { QApplication::closeAllWindows(); });
}
