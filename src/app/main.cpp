#include "foundation/Logger.h"
#include "platform/objectstore/ModelStoreError.h"
#include "shell/ModelContainerSetup.h"
#include "updates/UpdaterController.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

namespace {

bool hasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    installSystemLog();

    // The library's store comes first; without it there is nothing to show.
    // A store that cannot be opened is never deleted or replaced.
    std::unique_ptr<ModelContainer> container;
    try {
        container = makeModelContainer();
    } catch (const ModelStoreError &error) {
        const QString message = QStringLiteral("Failed to create ModelContainer: ") + error.description();
        if (error.detail().isEmpty())
            qCritical().noquote() << message;
        else
            qCritical().noquote() << message << "(" + error.detail() + ")";
        if (hasDisplay())
            QMessageBox::critical(nullptr, QStringLiteral("Veloran"), message);
        return 1;
    }

    UpdaterController::shared();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veloran"));
    window.resize(1000, 600);
    installUpdateCommands(window.menuBar());
    window.show();
    return app.exec();
}
