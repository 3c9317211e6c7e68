#include "platform/CloudAccountService.h"

#include <QMetaObject>

namespace {

// This platform has no iCloud: no account is ever signed in, so every
// request answers noAccount, which is what the service reports on a machine
// without an iCloud account. A status rather than an error is the right
// answer: an error leaves the application's account status unknown, and an
// unknown status hides the sidebar's "iCloud sync paused" banner, whereas a
// user who switched sync on must see that nothing is being synced. The
// Settings page then explains "Sign in to iCloud on this device to enable
// sync." and never turns sync on. No account change is ever announced.
class NoCloudAccountService final : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion completion) override
    {
        QMetaObject::invokeMethod(
            this,
            [completion = std::move(completion)] {
                if (completion)
                    completion(CloudAccountStatusReply::withStatus(CloudAccountStatus::noAccount));
            },
            Qt::QueuedConnection);
    }
};

} // namespace

CloudAccountService &CloudAccountService::shared()
{
    static CloudAccountService *const instance = new NoCloudAccountService;
    return *instance;
}
