#include "updates/UpdaterController.h"

#include "appkit/NSApplication.h"
#include "updates/StandardUserDriver.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

UpdaterController &UpdaterController::shared()
{
    // Deliberately never destroyed: it lives as long as the process.
    static UpdaterController *instance = new UpdaterController;
    return *instance;
}

UpdaterController::UpdaterController()
    : UpdaterController(settingsFromBundle(Bundle::main()), &Bundle::main,
                        std::make_unique<StandardUserDriver>(
                            Bundle::main().applicationName().value_or(QStringLiteral("Veloran")),
                            Bundle::main().releaseVersionNumber().value_or(QString())),
                        SparkleDelegate::builtInCredential())
{
}

UpdaterController::UpdaterController(SPUUpdaterSettings settings, SparkleDelegate::BundleSource bundle,
                                     std::unique_ptr<SPUUserDriver> userDriver, QByteArray credential)
    : m_delegate(std::make_unique<VeloranSparkleDelegate>(std::move(credential), std::move(bundle))),
      m_userDriver(std::move(userDriver)),
      m_controller(std::make_unique<SPUStandardUpdaterController>(true, m_delegate.get(), m_userDriver.get(),
                                                                  std::move(settings)))
{
    SPUUpdater *updater = m_controller->updater();
    if (updater->automaticallyChecksForUpdates())
        updater->checkForUpdatesInBackground();
}

UpdaterController::~UpdaterController()
{
    // The updater calls into the delegate and the dialogs; it goes first.
    m_controller.reset();
}

SPUUpdaterSettings UpdaterController::settingsFromBundle(const Bundle &bundle)
{
    SPUUpdaterSettings settings;
    settings.feedURL = QUrl(bundle.stringForKey(QStringLiteral("SUFeedURL")).value_or(QString()).trimmed());
    settings.hostVersion = bundle.buildVersionNumber().value_or(QString());
    settings.hostDisplayVersion = bundle.releaseVersionNumber().value_or(QString());
    settings.hostName = bundle.applicationName().value_or(QString());
    const QVariant automatic = bundle.infoDictionary().value(QStringLiteral("SUEnableAutomaticChecks"));
    settings.automaticallyChecksForUpdates = automatic.typeId() == QMetaType::Bool && automatic.toBool();
    return settings;
}

QAction *installUpdateCommands(QMenuBar *menuBar)
{
    QAction *check = NSApplication::applicationMenu(*menuBar)->addAction(QStringLiteral("Check for Updates…"));
    check->setMenuRole(QAction::ApplicationSpecificRole);
    QObject::connect(check, &QAction::triggered, check,
                     [] { UpdaterController::shared().controller()->checkForUpdates(nullptr); });
    return check;
}
