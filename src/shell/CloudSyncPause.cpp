#include "shell/CloudSyncPause.h"

#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"

CloudSyncPause::CloudSyncPause(AppState &appState, UserDefaults &defaults, QObject *parent)
    : SyncPauseSource(parent)
    , m_appState(appState)
    , m_defaults(defaults)
{
    connect(&m_appState, &AppState::cloudAccountStatusChanged, this, &SyncPauseSource::syncPauseChanged);
}

bool CloudSyncPause::isSyncPaused() const
{
    if (!CloudSyncSettings::isEnabled(m_defaults))
        return false;
    const std::optional<CloudAccountStatus> status = m_appState.cloudAccountStatus();
    return status && *status != CloudAccountStatus::available;
}
