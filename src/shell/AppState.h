#pragma once

#include "platform/CloudAccountService.h"
#include "viewer/SharedImageScreenState.h"

#include <QObject>

#include <functional>
#include <optional>

class UserDefaults;

// The state that all main windows share: what every image screen applies
// (edit mode, whether annotations are shown, the annotation whose links are
// open) and the last known status of the user's iCloud account. Lives on the
// main thread; views read and write it directly. Every setter stores the
// value and emits its signal only when the value really changed.
class AppState : public SharedImageScreenState {
    Q_OBJECT
public:
    // Uses the standard user defaults and the platform's account service.
    explicit AppState(QObject *parent = nullptr);
    // Both must outlive the AppState.
    AppState(UserDefaults &defaults, CloudAccountService &accountService, QObject *parent = nullptr);

    // The account service that the status is read from.
    CloudAccountService &accountService() const { return m_accountService; }

    // None until the first successful read, and again after a failed one.
    std::optional<CloudAccountStatus> cloudAccountStatus() const { return m_cloudAccountStatus; }
    void setCloudAccountStatus(const std::optional<CloudAccountStatus> &status);

    // Called once, right after the object is made. When "cloudSyncEnabled"
    // reads true, starts a main-thread task that reads the account status
    // once and then again after every account change, one read at a time, in
    // order; the task holds this object weakly and runs for as long as the
    // account service exists. When it reads false, nothing starts.
    void startCloudMonitoring();

    // Asks the account service for the status of the app's container and
    // stores the answer (none on an error). `finished` runs on the main
    // thread once the answer has been handled, also when this object was
    // destroyed in the meantime (the answer is then dropped).
    void refreshCloudAccountStatus(std::function<void()> finished = {});

signals:
    void cloudAccountStatusChanged(const std::optional<CloudAccountStatus> &status);

private:
    UserDefaults &m_defaults;
    CloudAccountService &m_accountService;
    std::optional<CloudAccountStatus> m_cloudAccountStatus;
};
