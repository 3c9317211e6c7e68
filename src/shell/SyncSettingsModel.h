#pragma once

#include "platform/CloudAccountService.h"

#include <QObject>
#include <QString>

#include <optional>

class UserDefaults;

// The state of the iCloud page of the Settings window, without any widget:
// the "Sync via iCloud" switch over the user default "cloudSyncEnabled", the
// account check before sync is turned on, and the page's three alerts. The
// store reads the setting at launch only, so every change of it ends in the
// "Restart required" prompt. Main thread only.
//
// Turning the switch on checks the iCloud account first (the switch is
// disabled meanwhile): an available account asks "Sync with iCloud?", and
// only "Sync" writes the setting; any other answer shows "iCloud
// unavailable" and the switch goes back off. Turning it off writes the
// setting at once. An answer that comes after the page has closed is
// dropped.
class SyncSettingsModel : public QObject {
    Q_OBJECT
public:
    // Both must outlive this object.
    SyncSettingsModel(UserDefaults &defaults, CloudAccountService &accounts, QObject *parent = nullptr);

    // The setting as stored.
    bool cloudSyncEnabled() const;
    // What the switch shows. Setting a new value is the user flipping it.
    bool displayState() const { return m_displayState; }
    void setDisplayState(bool on);
    bool checkingAccount() const { return m_checkingAccount; }

    // The page is shown: the switch shows the setting.
    void appear() { setDisplayState(cloudSyncEnabled()); }

    // "iCloud unavailable", with its message.
    bool showingAccountError() const { return m_showingAccountError; }
    QString accountErrorMessage() const { return m_accountErrorMessage; }
    // Its "OK": the switch goes back off.
    void acknowledgeAccountError();

    // "Sync with iCloud?".
    bool showingConfirmation() const { return m_showingConfirmation; }
    // Its "Cancel": the switch goes back off; the setting was never written.
    void cancelSync();
    // Its "Sync": the setting is turned on.
    void confirmSync();

    // "Restart required".
    bool showingRelaunchPrompt() const { return m_showingRelaunchPrompt; }
    // Its "Quit Now".
    void quitNow();
    // Its "Later".
    void postponeRelaunch() { setShowingRelaunchPrompt(false); }

    // The message of "iCloud unavailable" for an account status; none for
    // an available account.
    static std::optional<QString> accountStatusMessage(CloudAccountStatus status);

signals:
    void displayStateChanged(bool on);
    void checkingAccountChanged(bool checking);
    void showingAccountErrorChanged(bool showing);
    void showingConfirmationChanged(bool showing);
    void showingRelaunchPromptChanged(bool showing);
    // "Quit Now": the application is asked to quit.
    void quitRequested();

private:
    void handleToggleChange(bool on);
    void checkAccountStatus();
    void setCloudSyncEnabled(bool enabled);
    void setCheckingAccount(bool checking);
    void setShowingAccountError(bool showing);
    void setShowingConfirmation(bool showing);
    void setShowingRelaunchPrompt(bool showing);

    UserDefaults &m_defaults;
    CloudAccountService &m_accounts;
    bool m_displayState = false;
    bool m_checkingAccount = false;
    bool m_showingConfirmation = false;
    bool m_showingRelaunchPrompt = false;
    bool m_showingAccountError = false;
    QString m_accountErrorMessage;
};
