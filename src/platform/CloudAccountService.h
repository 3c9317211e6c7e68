#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The status of the user's iCloud account for a container. The raw values
// are the account service's own; a value outside the five cases can arrive
// and must be handled as "unavailable".
enum class CloudAccountStatus : int {
    couldNotDetermine = 0,
    available = 1,
    restricted = 2,
    noAccount = 3,
    temporarilyUnavailable = 4,
};

// The answer to one account-status request: a status, or an error with its
// user-facing description.
struct CloudAccountStatusReply {
    std::optional<CloudAccountStatus> status;
    QString errorDescription; // set when status is none

    static CloudAccountStatusReply withStatus(CloudAccountStatus status) { return {status, {}}; }
    static CloudAccountStatusReply withError(const QString &description) { return {std::nullopt, description}; }
    bool succeeded() const { return status.has_value(); }
};

// The iCloud account service: asks for the account status of a container and
// announces account changes.
class CloudAccountService : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const CloudAccountStatusReply &)>;

    using QObject::QObject;

    // The service of this platform; made on first use (on the main thread),
    // lives until the process ends.
    static CloudAccountService &shared();

    // Asks for the account status of the container. The completion is called
    // exactly once, later, on the main thread, never from inside this call.
    virtual void requestAccountStatus(const QString &containerIdentifier, Completion completion) = 0;

signals:
    // The signed-in account changed (signed in, signed out, switched).
    void accountChanged();
};
