#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class AlertDialog;
class CloudAccountService;
class QCheckBox;
class SyncSettingsModel;
class UserDefaults;

// The iCloud page of the Settings window: the "Sync via iCloud" switch with
// its footnote, and the page's alerts ("iCloud unavailable", "Sync with
// iCloud?", "Restart required"), window-modal, as its SyncSettingsModel
// asks for them. Each time the page is shown the switch shows the setting.
class SyncSettingsView : public QWidget {
    Q_OBJECT
public:
    // Both must outlive the page.
    SyncSettingsView(UserDefaults &defaults, CloudAccountService &accounts, QWidget *parent = nullptr);
    ~SyncSettingsView() override;

    SyncSettingsModel &model() const { return *m_model; }
    QCheckBox *syncSwitch() const { return m_switch; }

    // What is presented right now (null when nothing is).
    AlertDialog *accountErrorAlert() const;
    AlertDialog *confirmation() const;
    AlertDialog *relaunchPrompt() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateSwitch();
    void updateAccountErrorAlert();
    void updateConfirmation();
    void updateRelaunchPrompt();

    std::unique_ptr<SyncSettingsModel> m_model;
    QCheckBox *m_switch = nullptr;
    QPointer<AlertDialog> m_accountError;
    QPointer<AlertDialog> m_confirmation;
    QPointer<AlertDialog> m_relaunchPrompt;
};
