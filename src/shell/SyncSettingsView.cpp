#include "shell/SyncSettingsView.h"

#include "shell/SyncSettingsModel.h"
#include "ui/AlertDialog.h"
#include "ui/FormSection.h"
#include "ui/Presentation.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <functional>

namespace {

using Role = AlertDialog::Role;

// Follows one of the model's alert flags: shows the alert while it is set,
// closes it (reporting nothing) when it is cleared. A button closes the
// alert, then runs its action.
void present(QPointer<AlertDialog> &alert, bool shows, const std::function<AlertDialog *()> &make)
{
    if (!shows) {
        Presentation::dismiss(alert);
        return;
    }
    if (alert)
        return;
    alert = make();
    alert->open();
}

} // namespace

SyncSettingsView::SyncSettingsView(UserDefaults &defaults, CloudAccountService &accounts, QWidget *parent)
    : QWidget(parent)
    , m_model(std::make_unique<SyncSettingsModel>(defaults, accounts))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    auto *section = new FormSection(this);
    m_switch = new QCheckBox(QStringLiteral("Sync via iCloud"), this);
    section->addRow(m_switch);
    section->setFooter(QStringLiteral("Syncs your atlas images and annotations via your iCloud private database to "
                                      "your other devices. Turning sync off stops further uploads but does not "
                                      "delete data already in iCloud."));
    layout->addWidget(section);
    layout->addStretch(1);

    SyncSettingsModel *model = m_model.get();
    connect(m_switch, &QCheckBox::toggled, model, &SyncSettingsModel::setDisplayState);
    connect(model, &SyncSettingsModel::displayStateChanged, this, &SyncSettingsView::updateSwitch);
    connect(model, &SyncSettingsModel::checkingAccountChanged, this, &SyncSettingsView::updateSwitch);
    connect(model, &SyncSettingsModel::showingAccountErrorChanged, this, &SyncSettingsView::updateAccountErrorAlert);
    connect(model, &SyncSettingsModel::showingConfirmationChanged, this, &SyncSettingsView::updateConfirmation);
    connect(model, &SyncSettingsModel::showingRelaunchPromptChanged, this, &SyncSettingsView::updateRelaunchPrompt);
    updateSwitch();
}

SyncSettingsView::~SyncSettingsView()
{
    // The alerts go with the page, reporting nothing.
    delete m_accountError.data();
    delete m_confirmation.data();
    delete m_relaunchPrompt.data();
}

AlertDialog *SyncSettingsView::accountErrorAlert() const
{
    return m_accountError;
}

AlertDialog *SyncSettingsView::confirmation() const
{
    return m_confirmation;
}

AlertDialog *SyncSettingsView::relaunchPrompt() const
{
    return m_relaunchPrompt;
}

void SyncSettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_model->appear();
}

void SyncSettingsView::updateSwitch()
{
    const QSignalBlocker quiet(m_switch);
    m_switch->setChecked(m_model->displayState());
    m_switch->setEnabled(!m_model->checkingAccount());
}

void SyncSettingsView::updateAccountErrorAlert()
{
    present(m_accountError, m_model->showingAccountError(), [this] {
        auto *alert = new AlertDialog(QStringLiteral("iCloud unavailable"), m_model->accountErrorMessage(),
                                      {{QStringLiteral("OK"), Role::cancel}}, window());
        connect(alert, &AlertDialog::buttonPressed, m_model.get(), &SyncSettingsModel::acknowledgeAccountError);
        return alert;
    });
}

void SyncSettingsView::updateConfirmation()
{
    present(m_confirmation, m_model->showingConfirmation(), [this] {
        auto *alert = new AlertDialog(QStringLiteral("Sync with iCloud?"),
                                      QStringLiteral("Your existing images will upload to iCloud and sync across "
                                                     "devices signed in to this iCloud account."),
                                      {{QStringLiteral("Cancel"), Role::cancel}, {QStringLiteral("Sync"), Role::plain}},
                                      window());
        connect(alert, &AlertDialog::buttonPressed, this, [this](int button) {
            if (button == 0)
                m_model->cancelSync();
            else
                m_model->confirmSync();
        });
        return alert;
    });
}

void SyncSettingsView::updateRelaunchPrompt()
{
    present(m_relaunchPrompt, m_model->showingRelaunchPrompt(), [this] {
        auto *alert = new AlertDialog(QStringLiteral("Restart required"),
                                      QStringLiteral("Quit and reopen Veloran to apply the iCloud sync change."),
                                      {{QStringLiteral("Quit Now"), Role::plain}, {QStringLiteral("Later"), Role::cancel}},
                                      window());
        connect(alert, &AlertDialog::buttonPressed, this, [this](int button) {
            if (button == 0)
                m_model->quitNow();
            else
                m_model->postponeRelaunch();
        });
        return alert;
    });
}
