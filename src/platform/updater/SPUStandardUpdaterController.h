#pragma once

#include "platform/updater/SPUUpdater.h"

#include <QObject>

// Owns an updater with its user interface and offers the check command.
class SPUStandardUpdaterController : public QObject {
    Q_OBJECT

public:
    // With `startingUpdater` the updater is started at once.
    SPUStandardUpdaterController(bool startingUpdater, SPUUpdaterDelegate *updaterDelegate,
                                 SPUUserDriver *userDriver, SPUUpdaterSettings settings,
                                 QObject *parent = nullptr);

    SPUUpdater *updater() const { return m_updater; }
    void startUpdater();

public slots:
    // The user's "Check for Updates…" command.
    void checkForUpdates(QObject *sender = nullptr);

private:
    SPUUpdater *m_updater;
};
