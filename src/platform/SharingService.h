#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

class QMimeData;

// Hands a file on to the desktop, in place of a share sheet: by e-mail
// (xdg-email with the file attached), shown in the file manager (the
// desktop's org.freedesktop.FileManager1 service over D-Bus, else xdg-open
// on its folder), or on the clipboard as a file that file managers paste.
// Main thread only.
class SharingService : public QObject {
    Q_OBJECT
public:
    enum class Target { email, showInFolder, copy };

    // Over the session bus.
    explicit SharingService(QObject *parent = nullptr);
    SharingService(const QDBusConnection &bus, QObject *parent = nullptr);

    // The targets this desktop offers, in menu order: e-mail only where
    // xdg-email is installed.
    static QList<Target> availableTargets();

    // Hands on the file at `path`, which stays where it is. A failure (the
    // helper program missing, or ending in failure when no mail program or
    // file manager is installed) is reported by `failed` once known.
    void share(Target target, const QString &path);

    // What "Copy" puts on the clipboard: the file's URL, as a list of URLs
    // and as the files that GNOME's file manager pastes.
    static QMimeData *clipboardData(const QString &path);

signals:
    // With the text that the failure's alert shows.
    void failed(const QString &message);

private:
    void showInFolder(const QString &path);
    void openFolder(const QString &path);

    QDBusConnection m_bus;
};
