#include "foundation/Logger.h"
#include "platform/ApplicationInstance.h"
#include "platform/ContextMenuKeys.h"
#include "platform/TerminationSignals.h"
#include "shell/MainWindow.h"
#include "shell/ModelContainerSetup.h"
#include "shell/VeloranApp.h"
#include "ui/FocusRingStyle.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>

#include <cstdio>

namespace {

// With VELORAN_EXIT_AFTER_FIRST_PAINT set, the process writes "first paint"
// to its standard output once the window has been painted for the first
// time, then quits: start-up benchmarks time the launch up to that line.
class FirstPaintExit : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // After this paint has gone to the screen.
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fputs("first paint\n", stdout);
                    std::fflush(stdout);
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    FocusRingStyle::install();
    installSystemLog();
    quitOnTerminationSignals();

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
    installContextMenuKeys();

    // Without its store the application has nothing to show; the failure has
    // been reported and the store's file left alone.
    const std::unique_ptr<VeloranApp> app = VeloranApp::start();
    if (!app)
        return 1;

    MainWindow window(app->container().mainContext(), app->appState(), VeloranApp::defaultWindowState());
    FirstPaintExit firstPaintExit;
    if (qEnvironmentVariableIsSet("VELORAN_EXIT_AFTER_FIRST_PAINT"))
        window.installEventFilter(&firstPaintExit);
    QObject::connect(&instance, &ApplicationInstance::requestReceived, &window,
                     [&window](ApplicationInstance::Request request) {
                         if (request == ApplicationInstance::Request::newWindow)
                             window.openTab(VeloranApp::defaultWindowState());
                         window.bringForward();
                     });
    window.show();
    // A request to end that came while the application was starting ends it
    // now, as it would have ended the event loop.
    if (terminationRequested())
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    const int status = application.exec();
    // Quitting takes no longer than the work still running: the library's
    // objects go with the process.
    app->willEndProcess();
    return status;
}
