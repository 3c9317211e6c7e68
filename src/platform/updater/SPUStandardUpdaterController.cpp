#include "platform/updater/SPUStandardUpdaterController.h"

SPUStandardUpdaterController::SPUStandardUpdaterController(bool startingUpdater, SPUUpdaterDelegate *updaterDelegate,
                                                           SPUUserDriver *userDriver, SPUUpdaterSettings settings,
                                                           QObject *parent)
    : QObject(parent), m_updater(new SPUUpdater(std::move(settings), userDriver, updaterDelegate, this))
{
    if (startingUpdater)
        startUpdater();
}

void SPUStandardUpdaterController::startUpdater()
{
    m_updater->startUpdater();
}

void SPUStandardUpdaterController::checkForUpdates(QObject *)
{
    m_updater->checkForUpdates();
}
