#pragma once

#include <QProcessEnvironment>

#include <algorithm>

struct ProcessInfo {
    // Whether the process runs under a test host: "XCTestConfigurationFilePath"
    // or "XCTestBundlePath" set (any value), or "CI" set to "1" or, in any
    // letter case, "true".
    static bool isRunningTestsOrCI();
    static bool isRunningTestsOrCI(const QProcessEnvironment &environment);
};

// The value limited to the closed range lo...hi.
template<class T>
T clamped(const T &value, const T &lo, const T &hi)
{
    return std::min(std::max(value, lo), hi);
}
