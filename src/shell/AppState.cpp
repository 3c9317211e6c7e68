#include "shell/AppState.h"

#include "platform/UserDefaults.h"
#include "shell/CloudSyncSettings.h"

#include <QMetaObject>
#include <QPointer>

namespace {

// The account monitoring task. It reads the status once, subscribes to
// account changes only after that read has finished (so a change during the
// first read is not delivered), and then reads again for every change, one
// read at a time: changes that arrive during a read wait in order. It holds
// the AppState weakly; once that is gone, changes are ignored. It lives as
// long as the account service, whose child it is.
class CloudAccountMonitor final : public QObject {
public:
    CloudAccountMonitor(AppState *state, CloudAccountService &service)
        : QObject(&service)
        , m_state(state)
        , m_service(service)
    {
    }

    void run()
    {
        if (m_state) {
            m_reading = true;
            m_state->refreshCloudAccountStatus(afterRead([this] { subscribe(); }));
        } else {
            subscribe();
        }
    }

private:
    std::function<void()> afterRead(std::function<void()> next)
    {
        return [self = QPointer<CloudAccountMonitor>(this), next = std::move(next)] {
            if (!self)
                return;
            self->m_reading = false;
            next();
        };
    }

    void subscribe()
    {
        connect(&m_service, &CloudAccountService::accountChanged, this, [this] {
            ++m_pendingChanges;
            handlePendingChanges();
        });
    }

    void handlePendingChanges()
    {
        while (m_pendingChanges > 0 && !m_reading) {
            --m_pendingChanges;
            if (!m_state)
                continue;
            m_reading = true;
            m_state->refreshCloudAccountStatus(afterRead([this] { handlePendingChanges(); }));
        }
    }

    QPointer<AppState> m_state;
    CloudAccountService &m_service;
    bool m_reading = false;
    int m_pendingChanges = 0;
};

} // namespace

AppState::AppState(QObject *parent)
    : AppState(UserDefaults::standard(), CloudAccountService::shared(), parent)
{
}

AppState::AppState(UserDefaults &defaults, CloudAccountService &accountService, QObject *parent)
    : SharedImageScreenState(parent)
    , m_defaults(defaults)
    , m_accountService(accountService)
{
}

void AppState::setCloudAccountStatus(const std::optional<CloudAccountStatus> &status)
{
    if (m_cloudAccountStatus == status)
        return;
    m_cloudAccountStatus = status;
    emit cloudAccountStatusChanged(status);
}

void AppState::startCloudMonitoring()
{
    if (!CloudSyncSettings::isEnabled(m_defaults))
        return;
    // On the event loop's next turn, for as long as the service exists.
    QPointer<AppState> self(this);
    CloudAccountService *service = &m_accountService;
    QMetaObject::invokeMethod(
        service, [self, service] { (new CloudAccountMonitor(self, *service))->run(); }, Qt::QueuedConnection);
}

void AppState::refreshCloudAccountStatus(std::function<void()> finished)
{
    QPointer<AppState> self(this);
    m_accountService.requestAccountStatus(
        CloudSyncSettings::containerIdentifier(),
        [self, finished = std::move(finished)](const CloudAccountStatusReply &reply) {
            if (self)
                self->setCloudAccountStatus(reply.status); // none on an error, which is dropped
            if (finished)
                finished();
        });
}
