#pragma once

#include <QProcessEnvironment>

struct ProcessInfo {
    // Whether the process runs under a test host: "XCTestConfigurationFilePath"
    // or "XCTestBundlePath" set (any value), or "CI" set to "1" or, in any
    // letter case, "true".
    static bool isRunningTestsOrCI();
    static bool isRunningTestsOrCI(const QProcessEnvironment &environment);
};

// The values from `lowerBound` to `upperBound`, both included; the lower
// bound is not above the upper one.
template<class T>
struct ClosedRange {
    T lowerBound;
    T upperBound;
};

// `value` raised to the range's lower bound, then lowered to its upper
// bound: min(max(value, lower), upper), where max(x, y) is y when y >= x,
// else x, and min(x, y) is y when y < x, else x. So a value equal to the
// lower bound gives the bound (0.0 for -0.0 clamped to 0...1), one equal
// to the upper bound itself, and a value that compares with neither bound
// (a floating-point NaN) comes back as it is.
template<class T>
constexpr T clamped(const T &value, const ClosedRange<T> &range)
{
    const T &raised = range.lowerBound >= value ? range.lowerBound : value;
    return range.upperBound < raised ? range.upperBound : raised;
}
