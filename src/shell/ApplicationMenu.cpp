#include "shell/ApplicationMenu.h"

#include "about/AboutWindowController.h"
#include "appkit/NSApplication.h"
#include "updates/UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace {

// Made once, owned by the application object, so that it outlives every
// window whose menu holds it.
QAction *applicationCommand(QPointer<QAction> &command, const QString &title, const QKeySequence &keys,
                            QAction::MenuRole role)
{
    if (!command) {
        command = new QAction(title, QCoreApplication::instance());
        command->setShortcut(keys);
        command->setShortcutContext(Qt::ApplicationShortcut);
        command->setMenuRole(role);
    }
    return command;
}

} // namespace

QAction *ApplicationMenu::settingsCommand()
{
    static QPointer<QAction> command;
    return applicationCommand(command, QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
                              QAction::PreferencesRole);
}

QAction *ApplicationMenu::quitCommand()
{
    static QPointer<QAction> command;
    const bool made = command;
    QAction *quit = applicationCommand(command, QStringLiteral("Quit Veloran"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                                       QAction::QuitRole);
    if (!made)
        QObject::connect(quit, &QAction::triggered, quit, [] { QApplication::closeAllWindows(); });
    return quit;
}

QMenu *ApplicationMenu::install(QMenuBar *menuBar)
{
    QMenu *menu = NSApplication::applicationMenu(*menuBar);
    installUpdateCommands(menuBar);
    installAboutCommand(menuBar); // goes first
    menu->addSeparator();
    menu->addAction(settingsCommand());
    menu->addSeparator();
    menu->addAction(quitCommand());
    return menu;
}
