#pragma once

#include <optional>

// The subject's age: how it is given (the raw value of AgeSpec::Kind) and
// an optional number (weeks for fetal, months for months, years for years).
struct AgeSpec {
    int kindRaw = 1;
    std::optional<int> value;

    friend bool operator==(const AgeSpec &, const AgeSpec &) = default;
};
