#pragma once

#include <QHashFunctions>
#include <QString>

#include <array>

// Where a token auto-selection cycle stands. It is reset to passive, then
// advanced through two standby steps to active, where it rests until reset
// or disabled; disabled, it moves again only after a reset.
struct TokenAutoSelectStatus {
    enum Case { disabled, passive, standby1, standby2, active };

    static constexpr std::array<Case, 5> allCases{disabled, passive, standby1, standby2, active};

    Case value = disabled;

    // "Disabled", "Passive", "Standby 1", "Standby 2", "Active".
    QString description() const;

    void reset() { value = passive; }
    void disable() { value = disabled; }
    // The next case in order; disabled and active stay as they are.
    void advance();

    friend bool operator==(TokenAutoSelectStatus, TokenAutoSelectStatus) = default;
    friend size_t qHash(TokenAutoSelectStatus status, size_t seed = 0) { return ::qHash(int(status.value), seed); }
};
