#include "shell/VeloranApp.h"

#include "browser/ThumbnailCache.h"
#include "platform/CloudAccountService.h"
#include "platform/UserDefaults.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"
#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"
#include "shell/HeldLibraryInput.h"
#include "shell/ModelContainerSetup.h"
#include "updates/UpdaterController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThreadPool>
#include <QtDebug>

namespace {

bool hasDisplay()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

} // namespace

VeloranApp::~VeloranApp()
{
    // Work still running on the worker threads reads the library (a
    // thumbnail being decoded, an opened picture, files being written): it
    // ends before the store closes, and so do the settings' writes queued
    // on the files pool. Thumbnails not yet started are dropped, and the
    // clearing of the temporary files a process cut short left stops
    // between two files (the next opening clears the rest).
    ThumbnailCache::shared().cancelQueuedExcept({});
    if (m_container)
        m_container->mainContext().externalStorage().stopClearing();
    for (QThreadPool *pool : {&WorkerPools::decoding(), &WorkerPools::files(), &WorkerPools::computing()})
        pool->waitForDone();
}

void VeloranApp::willEndProcess()
{
    m_container->mainContext().leaveObjectsAtExit();
}

VeloranApp::Services VeloranApp::standardServices()
{
    Services services;
    services.defaults = &UserDefaults::standard();
    services.accountService = &CloudAccountService::shared();
    services.makeContainer = [] { return makeModelContainer(); };
    services.startUpdater = [] { UpdaterController::shared(); };
    services.reportFatalError = [](const QString &message) {
        qCritical().noquote() << message;
        if (hasDisplay())
            QMessageBox::critical(nullptr, QStringLiteral("Veloran"), message);
    };
    services.reportWarning = [](const QString &message, const std::function<void()> &read) {
        qWarning().noquote() << message;
        // Without a display the log is where it is read.
        if (!hasDisplay()) {
            if (read)
                read();
            return;
        }
        warnUntilRead(message, read);
    };
    return services;
}

void VeloranApp::warnUntilRead(const QString &message, const std::function<void()> &read)
{
    // Shown once the event loop runs, over the window. A request to end the
    // process then ends it, alert and all: quitting closes the alert, which
    // its answer does not tell from the button, so only a press of the
    // button itself (by the mouse or a key) counts as read.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [message, read] {
            QMessageBox alert(QMessageBox::Warning, QStringLiteral("Veloran"), message, QMessageBox::Ok,
                              QApplication::activeWindow());
            bool pressed = false;
            QObject::connect(&alert, &QMessageBox::buttonClicked, &alert, [&pressed] { pressed = true; });
            alert.exec();
            if (pressed && read)
                read();
        },
        Qt::QueuedConnection);
}

std::unique_ptr<VeloranApp> VeloranApp::start()
{
    return start(standardServices());
}

std::unique_ptr<VeloranApp> VeloranApp::start(const Services &services)
{
    std::unique_ptr<VeloranApp> app(new VeloranApp);

    app->m_appState = std::make_unique<AppState>(*services.defaults, *services.accountService);
    app->m_appState->startCloudMonitoring();

    services.defaults->registerDefaults(CloudSyncSettings::registeredDefaults());

    try {
        app->m_container = services.makeContainer();
    } catch (const ModelStoreError &error) {
        QString message = fatalMessage(error);
        if (!error.detail().isEmpty())
            message += QStringLiteral(" (") + error.detail() + QLatin1Char(')');
        services.reportFatalError(message);
        return nullptr;
    }

    const QStringList kept = app->m_container->keptExternalFolders();
    if (!kept.isEmpty() && services.reportWarning) {
        QStringList messages;
        for (const QString &folder : kept)
            messages << keptFilesMessage(folder);
        const QString store = app->m_container->configurations().first().storePath();
        services.reportWarning(messages.join(QStringLiteral("\n\n")),
                               [store] { ModelContainer::keptFilesAnnounced(store); });
    }

    app->m_heldInput = std::make_unique<HeldLibraryInput>(app->m_container->mainContext());
    services.startUpdater();
    return app;
}

QString VeloranApp::fatalMessage(const ModelStoreError &error)
{
    return QStringLiteral("Failed to create ModelContainer: ") + error.description();
}

QString VeloranApp::keptFilesMessage(const QString &folder)
{
    return QStringLiteral("The library file was missing or empty, so Veloran started a new, empty library. The "
                          "files of the old library\u2019s pictures were kept in \u201C%1\u201D.")
        .arg(folder);
}
