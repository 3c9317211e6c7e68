#include "foundation/Logger.h"
#include "updates/UpdaterController.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    installSystemLog();
    UpdaterController::shared();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veloran"));
    window.resize(1000, 600);
    installUpdateCommands(window.menuBar());
    window.show();
    return app.exec();
}
