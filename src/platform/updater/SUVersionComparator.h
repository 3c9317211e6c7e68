#pragma once

#include <QString>

// Compares version texts part by part: runs of digits as numbers, runs of
// letters as text, anything else as a separator. "1.10" is newer than
// "1.9"; a letter part after an equal prefix marks a pre-release, so
// "2.1a3" is older than "2.1" while "2.1.1" is newer.
struct SUVersionComparator {
    // Negative when `a` is older than `b`, zero when equal, positive when newer.
    static int compareVersions(const QString &a, const QString &b);
};
