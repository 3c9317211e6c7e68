#include "shell/LibraryArchiveShare.h"

#include "platform/WorkerPools.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString shareFailedTitle = QStringLiteral("Share Failed");

struct Written {
    QString path;
    QString error; // set on failure
};

} // namespace

LibraryArchiveShare::LibraryArchiveShare(QObject *parent)
    : QObject(parent)
    , m_service(new SharingService(this))
{
    connect(m_service, &SharingService::failed, this,
            [this](const QString &message) { emit shareFailed(shareFailedTitle, message); });
}

void LibraryArchiveShare::share(const LibraryArchiveTransfer &transfer, SharingService::Target target)
{
    if (++m_running == 1)
        emit isSharingChanged(true);
    auto *watcher = new QFutureWatcher<Written>(this);
    connect(watcher, &QFutureWatcher<Written>::finished, this, [this, watcher, target] {
        watcher->deleteLater();
        const Written written = watcher->result();
        if (--m_running == 0)
            emit isSharingChanged(false);
        if (!written.error.isEmpty()) {
            emit shareFailed(shareFailedTitle, written.error);
            return;
        }
        m_service->share(target, written.path);
        emit archiveShared(written.path);
    });
    watcher->setFuture(QtConcurrent::run(&WorkerPools::files(), [transfer] {
        const auto written = transfer.writeSharedArchive();
        return written ? Written{written.value(), {}} : Written{{}, errorDescription(written.error())};
    }));
}
