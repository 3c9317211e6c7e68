#pragma once

#include "archive/LibraryArchiveTransfer.h"
#include "platform/SharingService.h"

#include <QObject>
#include <QString>

// The "Share" items of one main window's rows: the transfer of the chosen
// entries is written on a worker thread into the shared archives folder and
// then handed to the chosen target. A failure, of the writing or of the
// target, is reported as "Share Failed" with the error's text. Shares run
// side by side; one that finishes after this object is gone touches
// nothing. Main thread only.
class LibraryArchiveShare : public QObject {
    Q_OBJECT
public:
    explicit LibraryArchiveShare(QObject *parent = nullptr);

    void share(const LibraryArchiveTransfer &transfer, SharingService::Target target);
    // A share's archive is being written.
    bool isSharing() const { return m_running > 0; }

    SharingService &service() { return *m_service; }

signals:
    void isSharingChanged(bool sharing);
    // The archive is written and handed to the target.
    void archiveShared(const QString &path);
    void shareFailed(const QString &title, const QString &message);

private:
    SharingService *m_service = nullptr;
    int m_running = 0;
};
