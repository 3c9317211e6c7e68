#pragma once

#include <QObject>

// What the sidebar's "iCloud sync paused" banner shows: whether sync is
// switched on while the account cannot be used. The window that owns the
// sidebar provides it from its shared state.
class SyncPauseSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isSyncPaused() const = 0;

signals:
    // isSyncPaused() may have changed.
    void syncPauseChanged();
};
