#pragma once

#include "platform/Result.h"
#include "archive/ZipArchiveError.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

// Reads a whole zip archive held in memory: stored (method 0) and DEFLATE
// (method 8) entries, every entry verified against its size and CRC-32.
// Zip64 archives are refused, and so are entries whose bytes overlap. Nothing
// is streamed and no file is opened. Large archives are checked on several
// threads; the outcome, and which failure is reported, are those of checking
// one entry after the other.
class ZipArchiveReader {
public:
    using Entries = QHash<QString, QByteArray>;
    // Decides whether an entry's bytes are kept in the result.
    using KeepFilter = std::function<bool(const QString &path)>;

    // Every entry except directories (names ending in "/"), by path; for a
    // path that occurs twice the later central record wins. The first
    // failure ends the read and nothing partial is returned. Stored entries
    // share the bytes of `archive` instead of copying them.
    static Result<Entries, ZipArchiveError> entries(const QByteArray &archive);

    // The same read, but an entry for which `keep` says no is only verified:
    // its bytes are checked and dropped without ever being held whole.
    static Result<Entries, ZipArchiveError> entries(const QByteArray &archive, const KeepFilter &keep);

    // The bytes of the entry `path` (the last central record of that name),
    // verified, without reading any other entry; a null QByteArray when the
    // archive has no such entry or anything on the way to it is damaged.
    // It is a quick look ahead, not a check of the archive.
    static QByteArray lookUp(const QByteArray &archive, const QString &path);

    // The largest archive without Zip64 records: its directory starts at a
    // 32-bit offset, followed by the end record and a comment of at most
    // 65,535 bytes. Larger files are refused unread, with
    // tooLargeToRead().
    static constexpr qint64 maximumArchiveSize = 0xFFFFFFFFLL + 22 + 0xFFFF;
    // The error for a file larger than maximumArchiveSize, told by its last
    // bytes alone: notAZipArchive when they hold no end record, else
    // unsupportedZip64 (only a Zip64 archive grows that large).
    static ZipArchiveError tooLargeToRead(const QByteArray &tail);

    // The largest number of bytes a DEFLATE stream of `compressedSize` bytes
    // can decode to (each 258-byte match costs at least two bits).
    static qint64 maximumInflatedSize(qint64 compressedSize) { return compressedSize * 1032; }

private:
    ZipArchiveReader() = delete;
};
