#include "platform/SharingService.h"

#include <QClipboard>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString emailProgram = QStringLiteral("xdg-email");
const QString openProgram = QStringLiteral("xdg-open");

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
    case Target::email:
        run(emailProgram, {QStringLiteral("--attach"), path},
            QStringLiteral("No e-mail program could be started for \u201C%1\u201D.").arg(displayName(path)) + keptIn(path));
        return;
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
    run(openProgram, {QFileInfo(path).absolutePath()},
        QStringLiteral("No file manager could show \u201C%1\u201D.").arg(displayName(path)) + keptIn(path));
}

void SharingService::run(const QString &program, const QStringList &arguments, const QString &failure)
{
    // The desktop's helpers fail by their exit status when no program does
    // the job. Not a child of this object: a mail program or file manager
    // that the helper runs itself keeps running when the window that asked
    // has gone.
    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::finished, this, [this, failure](int status, QProcess::ExitStatus exit) {
        if (exit != QProcess::NormalExit || status != 0)
            emit failed(failure);
    });
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [this, failure](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit failed(failure);
    });
    process->start();
}
