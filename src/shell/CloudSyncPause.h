#pragma once

#include "browser/SyncPauseSource.h"

class AppState;
class UserDefaults;

// Sync is paused while the iCloud sync switch is on and the last known
// account status is anything but available; an unknown status pauses
// nothing. Changes with either: the shared account status and the switch
// as the Settings window writes it.
class CloudSyncPause : public SyncPauseSource {
    Q_OBJECT
public:
    // Both must outlive this object.
    CloudSyncPause(AppState &appState, UserDefaults &defaults, QObject *parent = nullptr);

    bool isSyncPaused() const override;

private:
    AppState &m_appState;
    UserDefaults &m_defaults;
};
