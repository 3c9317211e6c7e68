#pragma once

#include "platform/updater/SPUStandardUpdaterController.h"
#include "updates/VeloranSparkleDelegate.h"

#include <memory>

class QAction;
class QMenuBar;

// Owns the application's updater for the whole run. Creating it starts the
// updater and, when automatic checks are on, checks in the background.
class UpdaterController {
public:
    // The one instance, made on first use and kept until the process ends.
    static UpdaterController &shared();

    // The updater of the main bundle, with the standard dialogs.
    UpdaterController();
    UpdaterController(SPUUpdaterSettings settings, SparkleDelegate::BundleSource bundle,
                      std::unique_ptr<SPUUserDriver> userDriver, QByteArray credential);
    ~UpdaterController();

    // The feed address, version and automatic-check setting of a bundle.
    static SPUUpdaterSettings settingsFromBundle(const Bundle &bundle);

    VeloranSparkleDelegate *delegate() const { return m_delegate.get(); }
    SPUStandardUpdaterController *controller() const { return m_controller.get(); }

private:
    std::unique_ptr<VeloranSparkleDelegate> m_delegate;
    std::unique_ptr<SPUUserDriver> m_userDriver;
    std::unique_ptr<SPUStandardUpdaterController> m_controller;
};

// Adds "Check for Updates…" to the application's menu (made when missing)
// and returns the action.
QAction *installUpdateCommands(QMenuBar *menuBar);
