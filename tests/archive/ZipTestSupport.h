#pragma once

// Builds zip archives record by record, so tests can craft the odd and the
// broken ones that no writer makes.

#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"

#include <QByteArray>
#include <QList>
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

inline RawZipEntry deflatedEntry(const QByteArray &name, const QByteArray &data)
{
    RawZipEntry e;
    e.name = name;
    e.payload = rawDeflate(data);
    e.method = 8;
    e.crc = ZipArchive::crc32(data);
    e.compressedSize = quint32(e.payload.size());
    e.uncompressedSize = quint32(data.size());
    return e;
}

inline void put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

inline void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
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
    for (const RawZipEntry &e : entries) {
        const quint32 offset = e.localHeaderOffset.value_or(quint32(body.size()));
        const QByteArray localName = e.localName.value_or(e.name);
        put32(body, 0x04034B50);
        put16(body, 20);
        put16(body, e.flags);
        put16(body, e.method);
        put16(body, 0);
        put16(body, 33);
        put32(body, e.crc);
        put32(body, e.compressedSize);
        put32(body, e.uncompressedSize);
        put16(body, quint32(localName.size()));
        put16(body, quint32(e.localExtra.size()));
        body += localName + e.localExtra + e.payload;

        put32(directory, 0x02014B50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, e.flags);
        put16(directory, e.method);
        put16(directory, 0);
        put16(directory, 33);
        put32(directory, e.crc);
        put32(directory, e.compressedSize);
        put32(directory, e.uncompressedSize);
        put16(directory, quint32(e.name.size()));
        put16(directory, quint32(e.centralExtra.size()));
        put16(directory, quint32(e.centralComment.size()));
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += e.name + e.centralExtra + e.centralComment;
    }
    QByteArray out = body + directory;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, options.entryCount.value_or(quint16(entries.size())));
    put16(out, options.entryCount.value_or(quint16(entries.size())));
    put32(out, quint32(directory.size()));
    put32(out, options.directoryOffset.value_or(quint32(body.size())));
    put16(out, quint32(options.comment.size()));
    out += options.comment;
    return out;
}

inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : out)
        c = char(generator.bounded(256));
    return out;
}

// Reads `archive` both keeping every entry and keeping none; the two must
// agree, and the first is returned.
inline Result<ZipArchiveReader::Entries, ZipArchiveError> readBothWays(const QByteArray &archive)
{
    auto all = ZipArchiveReader::entries(archive);
    const auto none = ZipArchiveReader::entries(archive, [](const QString &) { return false; });
    if (all.ok() != none.ok() || (!all.ok() && !(all.error() == none.error())))
        qFatal("reading with and without keeping entries disagrees");
    return all;
}

// The error reading `archive`; a success matches no error.
inline ZipArchiveError zipReadError(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    if (result.ok())
        return ZipArchiveError{ZipArchiveError::Kind::archiveTooLarge, 0xBEEF, QStringLiteral("read succeeded")};
    return result.error();
}

inline ZipArchiveReader::Entries readEntries(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    if (!result.ok())
        qWarning("unexpected read failure: %s", qPrintable(result.error().description()));
    return result.ok() ? result.value() : ZipArchiveReader::Entries{{QStringLiteral("<failed>"), {}}};
}
