#pragma once

#include <QString>
#include <QVariantMap>

class UserDefaults;

// The user's iCloud sync switch and the iCloud container that the library is
// mirrored to. The switch is read at launch (store configuration, account
// monitoring) and written by the iCloud settings page.
struct CloudSyncSettings {
    // The Boolean user default "cloudSyncEnabled".
    static QString enabledKey() { return QStringLiteral("cloudSyncEnabled"); }
    // The iCloud container of the store's private database and of every
    // account-status check.
    static QString containerIdentifier() { return QStringLiteral("iCloud.app.veloran.Veloran"); }
    // What start-up registers: { "cloudSyncEnabled": false }.
    static QVariantMap registeredDefaults() { return {{enabledKey(), false}}; }
    // The switch as stored; false when it was never written.
    static bool isEnabled(const UserDefaults &defaults);
};
