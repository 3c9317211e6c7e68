#include "foundation/Logger.h"
#include "shell/VeloranApp.h"
#include "updates/UpdaterController.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    installSystemLog();

    // Without its store the application has nothing to show; the failure has
    // been reported and the store's file left alone.
    const std::unique_ptr<VeloranApp> app = VeloranApp::start();
    if (!app)
        return 1;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veloran"));
    window.resize(1000, 600);
    installUpdateCommands(window.menuBar());
    window.show();
    return application.exec();
}
