#pragma once

#include <QString>

// The marketing name of a model identifier ("iPhone12,8" gives "iPhone SE
// (2nd generation)"); an identifier not in the table comes back unchanged.
QString mapToDeviceName(const QString &identifier);

// Whether `version` does not order before `other` when runs of digits
// compare by their value: "1.10" is at least "1.9"; "1.2" is not at least "1.2.0".
bool atLeastVersion(const QString &version, const QString &other);
// Part by part: true when one is a prefix of the other ("1.2" and "1.2.3"
// are each at least the other); otherwise the first numeric part that
// differs decides, parts that are not whole numbers being skipped.
bool asVersionIsAtLeast(const QString &version, const QString &other);
