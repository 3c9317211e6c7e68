#include "shell/CloudSyncSettings.h"

#include "platform/UserDefaults.h"

bool CloudSyncSettings::isEnabled(const UserDefaults &defaults)
{
    return defaults.boolForKey(enabledKey());
}
