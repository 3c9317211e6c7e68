#include "platform/LargePages.h"

#include <QList>

#include <cstdio>
#include <cstdlib>
#include <gnu/libc-version.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace {

const QByteArray wish = QByteArrayLiteral("glibc.malloc.hugetlb");

// The setting in force: the word in brackets.
QByteArray chosen(const QByteArray &setting)
{
    const qsizetype open = setting.indexOf('[');
    const qsizetype close = setting.indexOf(']', open + 1);
    if (open < 0 || close < 0)
        return {};
    return setting.mid(open + 1, close - open - 1);
}

bool knowsTheWish(const char *version)
{
    const QList<QByteArray> parts = QByteArray(version).split('.');
    if (parts.size() < 2)
        return false;
    bool majorOk = false;
    bool minorOk = false;
    const int major = parts.at(0).toInt(&majorOk);
    const int minor = parts.at(1).toInt(&minorOk);
    return majorOk && minorOk && (major > 2 || (major == 2 && minor >= 35));
}

QByteArray systemSetting()
{
    QByteArray setting;
    if (FILE *file = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re")) {
        char buffer[128];
        const size_t read = std::fread(buffer, 1, sizeof buffer, file);
        setting = QByteArray(buffer, qsizetype(read));
        std::fclose(file);
    }
    return setting;
}

} // namespace

std::optional<QByteArray> tunablesWithLargePages(const char *tunables, const QByteArray &systemSetting,
                                                 const char *libraryVersion)
{
    // Only where large pages are given to those who ask for them.
    if (chosen(systemSetting) != "madvise" || !knowsTheWish(libraryVersion))
        return std::nullopt;
    const QByteArray current(tunables);
    for (const QByteArray &tunable : current.split(':')) {
        if (tunable.startsWith(wish + '='))
            return std::nullopt;
    }
    const QByteArray added = wish + QByteArrayLiteral("=1");
    return current.isEmpty() ? added : current + ':' + added;
}

void useLargeHeapPages(char *argv[])
{
    // A process started with raised rights gets no tunables from its
    // environment: it would start again forever.
    if (getauxval(AT_SECURE) != 0)
        return;
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    const std::optional<QByteArray> wished = tunablesWithLargePages(tunables, systemSetting(), gnu_get_libc_version());
    if (!wished)
        return;
    const QByteArray before(tunables);
    const bool wasSet = tunables != nullptr;
    if (setenv("GLIBC_TUNABLES", wished->constData(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Not started again: go on as before.
    if (wasSet)
        setenv("GLIBC_TUNABLES", before.constData(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
}
