#pragma once

#include "archive/Result.h"
#include "archive/ZipArchiveError.h"
#include "archive/ZipEntry.h"

#include <QByteArray>
#include <QList>

// Writes named blobs into the bytes of one zip archive held in memory: every
// entry stored, UTF-8 names, a fixed timestamp, no extra fields, comments or
// data descriptors.
class ZipArchiveWriter {
public:
    // The largest number of entries written. The end record's count of
    // 0xFFFF marks a Zip64 archive to readers, so one entry fewer than the
    // field holds is the most that reads back.
    static constexpr qsizetype maximumEntryCount = 0xFFFE;

    // The archive of `entries` in the given order (local part, then central
    // directory, then the end record). Fails with archiveTooLarge, before
    // anything is copied, when the entries don't fit the zip format.
    static Result<QByteArray, ZipArchiveError> archive(const QList<ZipEntry> &entries);

    // The archive's size for `entries`, or archiveTooLarge.
    static Result<qint64, ZipArchiveError> archiveSize(const QList<ZipEntry> &entries);

private:
    ZipArchiveWriter() = delete;
};
