#pragma once

#include "platform/FileReadError.h"
#include "platform/Result.h"
#include "archive/ZipArchiveError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The bytes of a zip archive as the reader takes them: in memory, or in a
// file that is read in pieces where they are needed and never whole. A
// value shared by its copies; reads are safe from several threads at once.
class ZipArchiveSource {
public:
    static ZipArchiveSource memory(const QByteArray &bytes);
    // The regular file at `path`, opened for reading.
    static Result<ZipArchiveSource, FileReadError> open(const QString &path);

    qint64 size() const;
    // Reads `count` bytes at `offset` into `into`; false when they lie past
    // the end or the file can't give them (it shrank, or a read failed).
    bool read(qint64 offset, qint64 count, uchar *into) const;
    // The whole archive when it is in memory, else null.
    const QByteArray *bytes() const;
    // Whether the file holds the bytes it held when opened
    // (FileIdentity::holdsTheSameBytesAs()): not written since, also when
    // its times were set back; renaming another file over it changes
    // nothing. Bytes in memory never change.
    bool isUnchanged() const;

private:
    struct State;
    std::shared_ptr<const State> m;
};

// Reads a zip archive: stored (method 0) and DEFLATE (method 8) entries,
// every entry verified against its size and CRC-32. Zip64 archives are
// refused, and so are entries whose bytes overlap. Large archives are
// checked on several threads; the outcome, and which failure is reported,
// are those of checking one entry after the other.
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

    // Reading piece by piece, for an archive too large to hold: the central
    // directory is walked once (every record parsed and checked), then one
    // entry (openEntry()) or every entry (readEntries()) is located, checked
    // and inflated, piece by piece.
    class Directory {
    public:
        // The last central record of `path` (directories excepted), and its
        // declared uncompressed size.
        bool contains(const QString &path) const { return m_last.contains(path); }
        qint64 uncompressedSize(const QString &path) const;

        struct Record; // one central record

    private:
        friend class ZipArchiveReader;
        std::shared_ptr<const QList<Record>> m_records;
        QHash<QString, qsizetype> m_last; // the last record of each name
    };
    static Result<Directory, ZipArchiveError> directory(const ZipArchiveSource &source);

    // One entry's bytes, pulled piece by piece as they are inflated, their
    // size and CRC-32 checked at the end.
    class EntryReader {
    public:
        virtual ~EntryReader() = default;
        // Up to `max` more bytes into `into`: how many, 0 at the end, -1
        // on a failure (see error()).
        virtual qint64 read(char *into, qint64 max) = 0;
        // Reads what is left, checking it, then the size and the CRC-32:
        // the failure, if any (also one read() met).
        virtual std::optional<ZipArchiveError> finish() = 0;
    };
    // `path` must be in `directory`. Its local header and its data's
    // bounds are checked at once.
    static Result<std::unique_ptr<EntryReader>, ZipArchiveError>
    openEntry(const ZipArchiveSource &source, const Directory &directory, const QString &path);

    // Receives an entry's bytes, piece by piece, on the thread that reads
    // them, then an empty piece once the entry has passed its checks; false
    // stops the read (`stopped` then holds).
    using Consumer = std::function<bool(QByteArrayView piece)>;
    struct ReadOutcome {
        std::optional<ZipArchiveError> error; // the first, in directory order
        bool stopped = false;                 // a consumer said stop
        explicit operator bool() const { return !error && !stopped; }
    };
    // Checks every entry of `directory` as entries() would, with the same
    // outcome and the same first failure, handing the bytes of the last
    // record of each path to the consumer that `consumerFor` gives for that
    // path (called on the reading thread; an empty one only checks the
    // entry). Earlier records of a path are only checked. No entry is held
    // whole; several threads read when the entries are large.
    static ReadOutcome readEntries(const ZipArchiveSource &source, const Directory &directory,
                                   const std::function<Consumer(const QString &path)> &consumerFor);

    // The failure that entries() would meet in the archive of `source`, or
    // none when every entry passes: each entry is checked piece by piece,
    // none is held whole.
    static std::optional<ZipArchiveError> check(const ZipArchiveSource &source);

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
