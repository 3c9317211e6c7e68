#pragma once

#include <optional>

// The subject's age: how it is given (the raw value of AgeSpec::Kind) and
// an optional number (weeks for fetal, months for months, years for years).
struct AgeSpec {
    enum class Kind : int { fetal = 2, neonate = 3, months = 4, years = 5, unspecified = 1, unknown = 0 };

    int kindRaw = 1;
    std::optional<int> value;

    friend bool operator==(const AgeSpec &, const AgeSpec &) = default;
};
