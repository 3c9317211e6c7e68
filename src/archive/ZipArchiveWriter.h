#pragma once

#include "archive/ZipArchiveError.h"
#include "archive/ZipEntry.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <vector>

class QIODevice;

// Writes named blobs as one zip archive: every entry stored, UTF-8 names, a
// fixed timestamp, no extra fields, comments or data descriptors. Every
// limit of the format is settled from the entries' lengths alone, before
// anything is copied or written.
class ZipArchiveWriter {
public:
    // The largest number of entries written. The end record's count of
    // 0xFFFF marks a Zip64 archive to readers, so one entry fewer than the
    // field holds is the most that reads back.
    static constexpr qsizetype maximumEntryCount = 0xFFFE;

    // The archive of `entries` in the given order (local part, then central
    // directory, then the end record), in memory. Fails with
    // archiveTooLarge when the entries don't fit the zip format.
    static Result<QByteArray, ZipArchiveError> archive(const QList<ZipEntry> &entries);

    // The archive's size for `entries`, or archiveTooLarge.
    static Result<qint64, ZipArchiveError> archiveSize(const QList<ZipEntry> &entries);

private:
    ZipArchiveWriter() = delete;
};

// Writes the same archive straight to a device, one entry at a time, for
// entries whose lengths are known before their bytes: only one entry's
// bytes need be in memory at once.
class ZipArchiveStreamWriter {
public:
    struct Entry {
        QString path;
        qint64 size = 0;
    };

    // The layout of `entries`, in the given order, or archiveTooLarge.
    static Result<ZipArchiveStreamWriter, ZipArchiveError> plan(const QList<Entry> &entries);
    ZipArchiveStreamWriter() = default; // an archive of no entries

    qint64 archiveSize() const;
    qsizetype entryCount() const { return qsizetype(m_names.size()); }
    // The entry that writeEntry() writes next.
    qsizetype nextEntry() const { return m_written; }

    // Writes the next entry with `data`, which must be exactly as long as
    // planned. False when it isn't (nothing is written) or the device fails.
    bool writeEntry(QIODevice &device, QByteArrayView data);
    // Writes the central directory and the end record, once every entry is
    // written.
    bool finish(QIODevice &device);

private:
    std::vector<QByteArray> m_names;
    std::vector<qint64> m_sizes;
    std::vector<qint64> m_offsets;
    std::vector<quint32> m_checksums;
    qint64 m_bodySize = 0;
    qint64 m_directorySize = 0;
    qsizetype m_written = 0;
};
