#pragma once

#include <QString>

// What merging an archive into the library did, and the message of the
// "Library Imported" alert that says so.
struct LibraryImportSummary {
    qint64 addedImages = 0;
    qint64 addedSeries = 0;
    qint64 skippedImages = 0;
    qint64 skippedSeries = 0;

    // "Added 3 images and 1 series." with, when something was skipped too,
    // " Skipped 2 images already in the library."; or, with nothing added,
    // "Nothing new to add — the library already has everything in this
    // archive." The parts form a list of type "and" in the user's current
    // locale ("Added 2 images und 1 series." in German); the rest of the
    // text is the same in every language.
    QString message() const;

    friend bool operator==(const LibraryImportSummary &, const LibraryImportSummary &) = default;
};
