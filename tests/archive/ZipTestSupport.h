#pragma once

// Builds zip archives record by record, so tests can craft the odd and the
// broken ones that no writer makes.

#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>

#include <zlib.h>

#include <optional>

struct RawZipEntry {
    QByteArray name;
    QByteArray payload; // the bytes as they lie in the archive
    quint16 method = 0;
    quint16 flags = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    std::optional<QByteArray> localName; // defaults to name
    QByteArray localExtra;
    QByteArray centralExtra;
    QByteArray centralComment;
    std::optional<quint32> localHeaderOffset; // defaults to where it is written
};

inline QByteArray rawDeflate(const QByteArray &data, int level = 6)
{
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

inline RawZipEntry storedEntry(const QByteArray &name, const QByteArray &data)
{
    RawZipEntry e;
    e.name = name;
    e.payload = data;
    e.crc = ZipArchive::crc32(data);
    e.compressedSize = e.uncompressedSize = quint32(data.size());
    return e;
}

inline RawZipEntry deflatedEntry(const QByteArray &name, const QByteArray &data, int level = 6)
{
    RawZipEntry e = storedEntry(name, data);
    e.payload = rawDeflate(data, level);
    e.method = 8;
    e.compressedSize = quint32(e.payload.size());
    return e;
}

inline quint32 get32(const QByteArray &in, qsizetype at)
{
    const auto *b = reinterpret_cast<const uchar *>(in.constData() + at);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

inline quint16 get16(const QByteArray &in, qsizetype at)
{
    const auto *b = reinterpret_cast<const uchar *>(in.constData() + at);
    return quint16(b[0] | b[1] << 8);
}

struct RawZipOptions {
    QByteArray comment;
    std::optional<quint16> entryCount;
    std::optional<quint32> directoryOffset;
};

inline QByteArray buildZip(const QList<RawZipEntry> &entries, const RawZipOptions &options = {})
{
    QByteArray body;
    QByteArray directory;
    QDataStream local(&body, QIODevice::WriteOnly);
    QDataStream central(&directory, QIODevice::WriteOnly);
    local.setByteOrder(QDataStream::LittleEndian);
    central.setByteOrder(QDataStream::LittleEndian);
    for (const RawZipEntry &e : entries) {
        const quint32 offset = e.localHeaderOffset.value_or(quint32(body.size()));
        const QByteArray localName = e.localName.value_or(e.name);
        // Version 20, dated 1980-01-01 00:00.
        local << quint32(0x04034B50) << quint16(20) << e.flags << e.method << quint16(0) << quint16(33) << e.crc
              << e.compressedSize << e.uncompressedSize << quint16(localName.size()) << quint16(e.localExtra.size());
        const QByteArray data = localName + e.localExtra + e.payload;
        local.writeRawData(data.constData(), int(data.size()));
        central << quint32(0x02014B50) << quint16(20) << quint16(20) << e.flags << e.method << quint16(0) << quint16(33)
                << e.crc << e.compressedSize << e.uncompressedSize << quint16(e.name.size())
                << quint16(e.centralExtra.size()) << quint16(e.centralComment.size()) << quint16(0) << quint16(0)
                << quint32(0) << offset;
        const QByteArray tail = e.name + e.centralExtra + e.centralComment;
        central.writeRawData(tail.constData(), int(tail.size()));
    }
    QByteArray out = body + directory;
    QDataStream end(&out, QIODevice::Append);
    end.setByteOrder(QDataStream::LittleEndian);
    const quint16 count = options.entryCount.value_or(quint16(entries.size()));
    end << quint32(0x06054B50) << quint16(0) << quint16(0) << count << count << quint32(directory.size())
        << options.directoryOffset.value_or(quint32(body.size())) << quint16(options.comment.size());
    return out + options.comment;
}

inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

// Empty when checking `archive` without holding any entry (check()) and
// reading it in pieces (readEntries(), where its directory reads) agree
// with `all`, a read of every entry, on the outcome, on the first failure
// and on the bytes; else what differs.
inline QString piecewiseDisagreement(const QByteArray &archive,
                                     const Result<ZipArchiveReader::Entries, ZipArchiveError> &all)
{
    const ZipArchiveSource source = ZipArchiveSource::memory(archive);
    const std::optional<ZipArchiveError> checked = ZipArchiveReader::check(source);
    if (all.ok() ? checked.has_value() : !(checked && *checked == all.error()))
        return QStringLiteral("checking every entry disagrees with the whole read");
    const auto directory = ZipArchiveReader::directory(source);
    if (all.ok() && !directory.ok())
        return QStringLiteral("the directory fails where the whole read doesn't");
    if (!directory.ok())
        return QString();
    QMutex lock; // the pieces come on several threads when the entries are large
    ZipArchiveReader::Entries pieces;
    const auto read = ZipArchiveReader::readEntries(source, directory.value(), [&](const QString &path) {
        return [&lock, &pieces, path](QByteArrayView piece) {
            const QMutexLocker locker(&lock);
            pieces[path].append(piece);
            return true;
        };
    });
    if (all.ok() != bool(read) || (!all.ok() && !(read.error && *read.error == all.error())))
        return QStringLiteral("reading in pieces disagrees with the whole read on the outcome");
    if (all.ok() && pieces != all.value())
        return QStringLiteral("reading in pieces disagrees with the whole read on the bytes");
    return QString();
}

// Reads `archive` keeping every entry; reading it keeping none must agree
// on the outcome and keep nothing, and so must checking it and reading it
// in pieces (piecewiseDisagreement()).
inline Result<ZipArchiveReader::Entries, ZipArchiveError> readBothWays(const QByteArray &archive)
{
    auto all = ZipArchiveReader::entries(archive);
    const auto none = ZipArchiveReader::entries(archive, [](const QString &) { return false; });
    if (all.ok() != none.ok() || (all.ok() ? !none.value().isEmpty() : !(all.error() == none.error())))
        qFatal("reading with and without keeping entries disagrees");
    if (const QString problem = piecewiseDisagreement(archive, all); !problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return all;
}

// The error reading `archive`; a success matches no error.
inline ZipArchiveError zipReadError(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    return result.ok() ? ZipArchiveError{ZipArchiveError::Kind::archiveTooLarge, 0xBEEF, QStringLiteral("read")}
                       : result.error();
}

inline ZipArchiveReader::Entries readEntries(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    return result.ok() ? result.value() : ZipArchiveReader::Entries{{QStringLiteral("<failed>"), {}}};
}

// An entry holding `head`, then `count` copies of `unit`, then `tail`,
// deflated piece by piece: gigabytes that never are in memory.
inline RawZipEntry repeatedEntry(const QByteArray &name, const QByteArray &head, const QByteArray &unit, qint64 count,
                                 const QByteArray &tail = {})
{
    z_stream stream{};
    deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    quint32 crc = 0;
    const qint64 perRun = qMax<qint64>(1, (1 << 20) / unit.size());
    const QByteArray run = unit.repeated(perRun);
    const auto feed = [&](const QByteArray &piece, int flush) {
        crc = ZipArchive::crc32(piece, crc);
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.constData()));
        stream.avail_in = uInt(piece.size());
        do {
            char buffer[1 << 16];
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    for (qint64 left = count; left > 0; left -= perRun)
        feed(left >= perRun ? run : unit.repeated(left), Z_NO_FLUSH);
    feed(tail, Z_FINISH);
    deflateEnd(&stream);
    RawZipEntry e;
    e.name = name;
    e.payload = out;
    e.method = 8;
    e.crc = crc;
    e.compressedSize = quint32(out.size());
    e.uncompressedSize = quint32(head.size() + count * unit.size() + tail.size());
    return e;
}

// Writes `entries` as a zip file, followed by a stored entry `holeName` of
// `holeSize` zero bytes left as a hole: a sparse file, whatever its size.
inline bool writeZipWithHole(const QString &path, QList<RawZipEntry> entries, const QByteArray &holeName,
                             qint64 holeSize)
{
    qint64 body = 0;
    for (const RawZipEntry &e : std::as_const(entries))
        body += 30 + e.localName.value_or(e.name).size() + e.localExtra.size() + e.payload.size();
    const QByteArray zeros(1 << 20, '\0');
    quint32 crc = 0;
    for (qint64 left = holeSize; left > 0; left -= zeros.size())
        crc = ZipArchive::crc32(QByteArrayView(zeros).first(qMin<qint64>(left, zeros.size())), crc);
    RawZipEntry hole;
    hole.name = holeName;
    hole.crc = crc;
    hole.compressedSize = hole.uncompressedSize = quint32(holeSize);
    entries.append(hole);
    // The hole entry's header ends the body; the directory follows its data.
    const qint64 holeHeader = 30 + holeName.size();
    const QByteArray zip = buildZip(entries, {{}, {}, quint32(body + holeHeader + holeSize)});
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 headers = body + holeHeader;
    return file.write(zip.left(headers)) == headers && file.seek(headers + holeSize)
        && file.write(zip.mid(headers)) == zip.size() - headers;
}
