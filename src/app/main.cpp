#include "foundation/Logger.h"
#include "platform/ApplicationInstance.h"
#include "platform/TerminationSignals.h"
#include "shell/MainWindow.h"
#include "shell/ModelContainerSetup.h"
#include "shell/VeloranApp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    installSystemLog();

    // One process per library: a launch while one runs hands it the request.
    ApplicationInstance instance(libraryFolder());
    switch (instance.start(ApplicationInstance::requestFromArguments(QApplication::arguments()))) {
    case ApplicationInstance::Role::forwarded:
        return 0;
    case ApplicationInstance::Role::failed:
        VeloranApp::standardServices().reportFatalError(instance.errorString());
        return 1;
    case ApplicationInstance::Role::primary:
        break;
    }
    quitOnTerminationSignals();

    // Without its store the application has nothing to show; the failure has
    // been reported and the store's file left alone.
    const std::unique_ptr<VeloranApp> app = VeloranApp::start();
    if (!app)
        return 1;

    MainWindow window(app->container().mainContext(), app->appState(), VeloranApp::defaultWindowState());
    QObject::connect(&instance, &ApplicationInstance::requestReceived, &window,
                     [&window](ApplicationInstance::Request request) {
                         if (request == ApplicationInstance::Request::newWindow)
                             window.openTab(VeloranApp::defaultWindowState());
                         window.bringForward();
                     });
    window.show();
    return application.exec();
}
