#pragma once

// Runs a program to its end and measures it as the system does for any
// child: wall-clock time and the peak resident size the kernel reports
// (ru_maxrss), so our own programs and a peer tool are measured the same way.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

extern char **environ;

struct MeasuredRun {
    bool ok = false;     // started and exited with 0
    double ms = 0;       // wall-clock time
    qint64 peakKiB = -1; // peak resident size
};

namespace measured_run_detail {

// Spawns `argv` with its standard output to `outFd` (or /dev/null when -1)
// and its standard error to `errFd` (or /dev/null when -1).
inline pid_t spawn(char *const *argv, int outFd, int errFd, int closeFd = -1)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (closeFd >= 0)
        posix_spawn_file_actions_addclose(&actions, closeFd);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

inline QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

} // namespace measured_run_detail

// A child's peak resident size as the kernel reports it starts from the
// peak of the process it was forked from, so a large measuring program would
// see its own peak in every child. The program measured is therefore
// started by a small launcher: the measuring program itself, started anew
// with "--measured-run". Call this first thing in main(); it answers true
// (with the exit code) when this process is such a launcher.
inline bool runAsMeasuredLauncher(int argc, char **argv, int *exitCode)
{
    if (argc < 3 || qstrcmp(argv[1], "--measured-run") != 0)
        return false;
    QElapsedTimer timer;
    timer.start();
    // The program's own output goes where ours does; its errors nowhere.
    const pid_t child = measured_run_detail::spawn(argv + 2, STDOUT_FILENO, -1);
    int status = 0;
    struct rusage usage {};
    const bool waited = child > 0 && wait4(child, &status, 0, &usage) == child;
    const bool ok = waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    dprintf(STDERR_FILENO, "%d %lld %ld\n", ok ? 1 : 0, static_cast<long long>(timer.nsecsElapsed()),
            static_cast<long>(usage.ru_maxrss));
    *exitCode = 0;
    return true;
}

// Runs `program` with `arguments` to its end through the launcher (this
// program, which must call runAsMeasuredLauncher()), with its standard
// output in `output` when given.
inline MeasuredRun runMeasured(const QString &self, const QString &program, const QStringList &arguments,
                               QByteArray *output = nullptr)
{
    QList<QByteArray> storage{self.toLocal8Bit(), QByteArrayLiteral("--measured-run"), program.toLocal8Bit()};
    for (const QString &argument : arguments)
        storage.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2], report[2];
    if (pipe(out) != 0)
        return {};
    if (pipe(report) != 0) {
        close(out[0]);
        close(out[1]);
        return {};
    }
    fcntl(out[0], F_SETFD, FD_CLOEXEC);
    fcntl(report[0], F_SETFD, FD_CLOEXEC);
    const pid_t launcher = measured_run_detail::spawn(argv.data(), out[1], report[1]);
    close(out[1]);
    close(report[1]);
    const QByteArray printed = measured_run_detail::readAll(out[0]);
    const QByteArray figures = measured_run_detail::readAll(report[0]);
    close(out[0]);
    close(report[0]);
    int status = 0;
    if (launcher <= 0 || waitpid(launcher, &status, 0) != launcher)
        return {};
    const QList<QByteArray> fields = figures.trimmed().split(' ');
    if (fields.size() != 3)
        return {};
    if (output)
        *output = printed;
    MeasuredRun run;
    run.ok = fields.at(0) == "1";
    run.ms = fields.at(1).toLongLong() / 1e6;
    run.peakKiB = fields.at(2).toLongLong();
    return run;
}
