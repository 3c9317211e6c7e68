#include "shell/SyncSettingsModel.h"

#include "platform/UserDefaults.h"
#include "shell/CloudSyncSettings.h"

#include <QPointer>

SyncSettingsModel::SyncSettingsModel(UserDefaults &defaults, CloudAccountService &accounts, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_accounts(accounts)
{
}

bool SyncSettingsModel::cloudSyncEnabled() const
{
    return CloudSyncSettings::isEnabled(m_defaults);
}

void SyncSettingsModel::setCloudSyncEnabled(bool enabled)
{
    m_defaults.setBool(enabled, CloudSyncSettings::enabledKey());
}

void SyncSettingsModel::setDisplayState(bool on)
{
    if (m_displayState == on)
        return;
    m_displayState = on;
    emit displayStateChanged(on);
    handleToggleChange(on);
}

void SyncSettingsModel::handleToggleChange(bool on)
{
    // The page copying the setting, or Cancel and OK turning the switch
    // back off.
    if (on == cloudSyncEnabled())
        return;
    if (on) {
        setCheckingAccount(true);
        checkAccountStatus();
    } else {
        setCloudSyncEnabled(false);
        setShowingRelaunchPrompt(true);
    }
}

void SyncSettingsModel::checkAccountStatus()
{
    m_accounts.requestAccountStatus(CloudSyncSettings::containerIdentifier(),
                                    [self = QPointer(this)](const CloudAccountStatusReply &reply) {
                                        if (!self)
                                            return;
                                        self->setCheckingAccount(false);
                                        const std::optional<QString> message =
                                            reply.status ? accountStatusMessage(*reply.status)
                                                         : std::optional<QString>(reply.errorDescription);
                                        if (!message) {
                                            self->setShowingConfirmation(true);
                                        } else {
                                            self->m_accountErrorMessage = *message;
                                            self->setShowingAccountError(true);
                                        }
                                    });
}

std::optional<QString> SyncSettingsModel::accountStatusMessage(CloudAccountStatus status)
{
    switch (status) {
    case CloudAccountStatus::couldNotDetermine:
        return QStringLiteral("iCloud account status could not be determined. Try again in a moment.");
    case CloudAccountStatus::available:
        return std::nullopt;
    case CloudAccountStatus::restricted:
        return QStringLiteral("iCloud is restricted on this device.");
    case CloudAccountStatus::noAccount:
        return QStringLiteral("Sign in to iCloud on this device to enable sync.");
    case CloudAccountStatus::temporarilyUnavailable:
        return QStringLiteral("iCloud is temporarily unavailable. Try again later.");
    }
    return QStringLiteral("iCloud is unavailable.");
}

void SyncSettingsModel::acknowledgeAccountError()
{
    setShowingAccountError(false);
    setDisplayState(false);
}

void SyncSettingsModel::cancelSync()
{
    setShowingConfirmation(false);
    setDisplayState(false);
}

void SyncSettingsModel::confirmSync()
{
    setShowingConfirmation(false);
    setCloudSyncEnabled(true);
    setShowingRelaunchPrompt(true);
}

void SyncSettingsModel::quitNow()
{
    setShowingRelaunchPrompt(false);
    emit quitRequested();
}

void SyncSettingsModel::setCheckingAccount(bool checking)
{
    if (m_checkingAccount == checking)
        return;
    m_checkingAccount = checking;
    emit checkingAccountChanged(checking);
}

void SyncSettingsModel::setShowingAccountError(bool showing)
{
    if (m_showingAccountError == showing)
        return;
    m_showingAccountError = showing;
    emit showingAccountErrorChanged(showing);
}

void SyncSettingsModel::setShowingConfirmation(bool showing)
{
    if (m_showingConfirmation == showing)
        return;
    m_showingConfirmation = showing;
    emit showingConfirmationChanged(showing);
}

void SyncSettingsModel::setShowingRelaunchPrompt(bool showing)
{
    if (m_showingRelaunchPrompt == showing)
        return;
    m_showingRelaunchPrompt = showing;
    emit showingRelaunchPromptChanged(showing);
}
