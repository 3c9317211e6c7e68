#include "shell/CloudSyncPause.h"

#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"

CloudSyncPause::CloudSyncPause(AppState &appState, UserDefaults &defaults, QObject *parent)
    : SyncPauseSource(parent)
    , m_appState(appState)
    , m_defaults(defaults)
{
    connect(&m_appState, &AppState::cloudAccountStatusChanged, this, &SyncPauseSource::syncPauseChanged);
    // (Written on this thread, as the Settings window does, the switch is
    // heard at once; from another, on this one's next turn.)
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](const QString &key) {
        if (key == CloudSyncSettings::enabledKey())
            emit syncPauseChanged();
    });
}

bool CloudSyncPause::isSyncPaused() const
{
    if (!CloudSyncSettings::isEnabled(m_defaults))
        return false;
    const std::optional<CloudAccountStatus> status = m_appState.cloudAccountStatus();
    return status && *status != CloudAccountStatus::available;
}
