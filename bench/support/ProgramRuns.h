#pragma once

// What the benchmarks that run the program, or themselves, in processes of
// their own share: a line of figures printed at once, a timer's
// milliseconds, the median of rounds, and the environment in which the
// program finds its library in a home of the benchmark's.

#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace programruns {

inline void print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

inline double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// This process's environment, with `home` for the user's home and its data
// and settings folders (the library is "<home>/data/Veloran/Veloran"),
// without what tells a test host, and off screen where there is no display.
inline QProcessEnvironment programEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"CI", "XCTestConfigurationFilePath", "XCTestBundlePath"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home).filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home).filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("HOME"), home);
    if (!environment.contains(QStringLiteral("DISPLAY")) && !environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

} // namespace programruns
