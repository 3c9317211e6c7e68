#pragma once

#include "foundation/WebColorTable.h"

#include <QHashFunctions>
#include <QString>

#include <optional>

// The raw value of `color`: "FF0000FF" for red, "gray" for the second name gray.
QString rawValue(WebColor color);
// The colour whose raw value is exactly `rawValue`.
std::optional<WebColor> webColorFromRawValue(const QString &rawValue);
// "#" and the raw value.
QString hexString(WebColor color);

inline size_t qHash(WebColor color, size_t seed = 0)
{
    return ::qHash(rawValue(color), seed);
}
