#pragma once

#include <QProcessEnvironment>

struct ProcessInfo {
    // Whether the process runs under a test host: "XCTestConfigurationFilePath"
    // or "XCTestBundlePath" set (any value), or "CI" set to "1" or, in any
    // letter case, "true".
    static bool isRunningTestsOrCI();
    static bool isRunningTestsOrCI(const QProcessEnvironment &environment);
};
