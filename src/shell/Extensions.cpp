#include "shell/Extensions.h"

bool ProcessInfo::isRunningTestsOrCI()
{
    return isRunningTestsOrCI(QProcessEnvironment::systemEnvironment());
}

bool ProcessInfo::isRunningTestsOrCI(const QProcessEnvironment &environment)
{
    if (environment.contains(QStringLiteral("XCTestConfigurationFilePath"))
        || environment.contains(QStringLiteral("XCTestBundlePath")))
        return true;
    if (!environment.contains(QStringLiteral("CI")))
        return false;
    const QString ci = environment.value(QStringLiteral("CI"));
    return ci == QStringLiteral("1") || ci.toLower() == QStringLiteral("true");
}
