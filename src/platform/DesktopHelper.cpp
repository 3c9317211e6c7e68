#include "platform/DesktopHelper.h"

#include <QCoreApplication>
#include <QProcess>

void runDesktopHelper(const QString &program, const QStringList &arguments, QObject *context,
                      const std::function<void()> &failed)
{
    // The application's, not the context's: a program the helper runs
    // itself outlives what asked for it. Each goes once it has ended.
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::finished, context, [failed](int status, QProcess::ExitStatus exit) {
        if (exit != QProcess::NormalExit || status != 0)
            failed();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failed();
    });
    process->start();
}

void openWithDesktop(const QString &target, QObject *context, const std::function<void()> &failed)
{
    runDesktopHelper(QStringLiteral("xdg-open"), {target}, context, failed);
}
