#pragma once

#include "foundation/DateComponentsFormatter.h"

#include <QString>

#include <optional>

// A span formatter whose text between two dates keeps no more words than
// its maximum unit count (0: no limit) and writes months as "m", not "mo".
class BugFixDateComponentsFormatter : public DateComponentsFormatter {
public:
    using DateComponentsFormatter::string;
    std::optional<QString> string(const QDateTime &start, const QDateTime &end) const override;
};

// "mm:ss" clock text of a span; the sign is dropped.
class MinutesAndSecondsFormatter {
public:
    static MinutesAndSecondsFormatter &shared();
    std::optional<QString> string(double seconds) const;

private:
    MinutesAndSecondsFormatter();
    DateComponentsFormatter m_formatter;
};

// Count-down text: "T- 01:02:05" before the moment, "T+ 01:02:05" from it on.
class TMinusFormatter {
public:
    static TMinusFormatter &shared();
    std::optional<QString> string(double seconds) const;

private:
    TMinusFormatter();
    DateComponentsFormatter m_formatter;
};
