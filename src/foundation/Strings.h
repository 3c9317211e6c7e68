#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Text helpers. A "character" is what a reader sees as one character (a
// grapheme cluster), not a UTF-16 code unit.

// The characters of `text`, in order.
QStringList characters(const QString &text);
qsizetype characterCount(const QString &text);

// A whole decimal integer: an optional "+" or "-", then ASCII digits only.
std::optional<qint64> wholeNumber(QStringView text);

struct HourAndMinute {
    int hour = 0;
    int minute = 0;
    friend bool operator==(const HourAndMinute &, const HourAndMinute &) = default;
};

// A four-character time such as "0930": hour from the first two characters,
// minute from the last two, no range check. Anything else reads as 0, 0.
HourAndMinute hourAndMinute(const QString &text);
