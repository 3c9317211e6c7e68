#include "platform/SharingService.h"

#include "platform/DesktopHelper.h"

#include <QClipboard>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString emailProgram = QStringLiteral("xdg-email");

QString displayName(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Where the file stays when it could not be handed on.
QString keptIn(const QString &path)
{
    return QStringLiteral(" It is in the folder \u201C%1\u201D.").arg(QFileInfo(path).absolutePath());
}

} // namespace

SharingService::SharingService(QObject *parent)
    : SharingService(QDBusConnection::sessionBus(), parent)
{
}

SharingService::SharingService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

QList<SharingService::Target> SharingService::availableTargets()
{
    QList<Target> targets;
    if (!QStandardPaths::findExecutable(emailProgram).isEmpty())
        targets.append(Target::email);
    targets << Target::showInFolder << Target::copy;
    return targets;
}

void SharingService::share(Target target, const QString &path)
{
    switch (target) {
    case Target::email: {
        const QString failure =
            QStringLiteral("No e-mail program could be started for \u201C%1\u201D.").arg(displayName(path))
            + keptIn(path);
        runDesktopHelper(emailProgram, {QStringLiteral("--attach"), path}, this,
                         [this, failure] { emit failed(failure); });
        return;
    }
    case Target::showInFolder:
        showInFolder(path);
        return;
    case Target::copy:
        QGuiApplication::clipboard()->setMimeData(clipboardData(path));
        return;
    }
}

QMimeData *SharingService::clipboardData(const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    auto *data = new QMimeData;
    data->setUrls({url});
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + url.toEncoded());
    return data;
}

void SharingService::showInFolder(const QString &path)
{
    if (!m_bus.isConnected()) {
        openFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)}
         << QString();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher *answered) {
        answered->deleteLater();
        if (answered->isError())
            openFolder(path);
    });
}

void SharingService::openFolder(const QString &path)
{
    const QString failure =
        QStringLiteral("No file manager could show \u201C%1\u201D.").arg(displayName(path)) + keptIn(path);
    openWithDesktop(QFileInfo(path).absolutePath(), this, [this, failure] { emit failed(failure); });
}

