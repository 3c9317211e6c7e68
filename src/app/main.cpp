#include "foundation/Logger.h"
#include "shell/MainWindow.h"
#include "shell/VeloranApp.h"

#include <QApplication>

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

    MainWindow window(app->container().mainContext(), app->appState(), VeloranApp::defaultWindowState());
    window.show();
    return application.exec();
}
