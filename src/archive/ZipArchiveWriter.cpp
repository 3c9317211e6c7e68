#include "archive/ZipArchiveWriter.h"

#include "archive/ParallelFor.h"
#include "archive/ZipArchive.h"

#include <cstring>
#include <vector>

namespace {

constexpr qint64 localHeaderSize = 30;
constexpr qint64 centralHeaderSize = 46;
constexpr qint64 endRecordSize = 22;
constexpr quint16 versionNeeded = 20;
constexpr quint16 utf8NameFlag = 0x0800;
constexpr quint16 dosTime = 0;  // 00:00:00
constexpr quint16 dosDate = 33; // 1980-01-01
constexpr qint64 limit32 = 0xFFFFFFFF;

class Output {
public:
    explicit Output(uchar *start) : m_at(start) {}

    void appendUInt16(quint16 value)
    {
        m_at[0] = uchar(value & 0xFF);
        m_at[1] = uchar(value >> 8);
        m_at += 2;
    }
    void appendUInt32(quint32 value)
    {
        appendUInt16(quint16(value & 0xFFFF));
        appendUInt16(quint16(value >> 16));
    }
    void append(const char *bytes, qint64 count)
    {
        if (count > 0)
            std::memcpy(m_at, bytes, size_t(count));
        m_at += count;
    }
    // Copies `data` and gives its CRC-32, taken piece by piece from the copy
    // while it is still in the cache.
    quint32 appendWithChecksum(const QByteArray &data)
    {
        constexpr qint64 piece = 256 * 1024;
        quint32 crc = 0;
        for (qint64 done = 0; done < data.size(); done += piece) {
            const qint64 n = qMin(piece, data.size() - done);
            std::memcpy(m_at, data.constData() + done, size_t(n));
            crc = ZipArchive::crc32(QByteArrayView(m_at, n), crc);
            m_at += n;
        }
        return crc;
    }
    void skip(qint64 count) { m_at += count; }
    uchar *position() const { return m_at; }

private:
    uchar *m_at;
};

// The fields that the local and the central header share, from "version
// needed to extract" to "extra field length".
void commonHeaderFields(Output &out, quint16 nameLength, quint32 checksum, quint32 size)
{
    out.appendUInt16(versionNeeded);
    out.appendUInt16(utf8NameFlag);
    out.appendUInt16(0); // stored
    out.appendUInt16(dosTime);
    out.appendUInt16(dosDate);
    out.appendUInt32(checksum);
    out.appendUInt32(size);
    out.appendUInt32(size);
    out.appendUInt16(nameLength);
    out.appendUInt16(0); // extra field length
}

void localFileHeader(Output &out, quint16 nameLength, quint32 checksum, quint32 size)
{
    out.appendUInt32(0x04034B50);
    commonHeaderFields(out, nameLength, checksum, size);
}

void centralDirectoryHeader(Output &out, quint16 nameLength, quint32 checksum, quint32 size, quint32 offset)
{
    out.appendUInt32(0x02014B50);
    out.appendUInt16(versionNeeded); // made by: 2.0, MS-DOS
    commonHeaderFields(out, nameLength, checksum, size);
    out.appendUInt16(0); // comment length
    out.appendUInt16(0); // disk number start
    out.appendUInt16(0); // internal attributes
    out.appendUInt32(0); // external attributes
    out.appendUInt32(offset);
}

void endOfCentralDirectory(Output &out, quint16 count, quint32 size, quint32 offset)
{
    out.appendUInt32(0x06054B50);
    out.appendUInt16(0); // this disk
    out.appendUInt16(0); // disk with the directory
    out.appendUInt16(count);
    out.appendUInt16(count);
    out.appendUInt32(size);
    out.appendUInt32(offset);
    out.appendUInt16(0); // comment length
}

struct Layout {
    QList<QByteArray> names;
    QList<qint64> localHeaderOffsets;
    qint64 bodySize = 0;
    qint64 directorySize = 0;
};

// Checks every limit of the format from the lengths alone.
Result<Layout, ZipArchiveError> layout(const QList<ZipEntry> &entries)
{
    if (entries.size() > ZipArchiveWriter::maximumEntryCount)
        return ZipArchiveError::archiveTooLarge();
    Layout result;
    result.names.reserve(entries.size());
    result.localHeaderOffsets.reserve(entries.size());
    for (const ZipEntry &entry : entries) {
        QByteArray name = entry.path.toUtf8();
        if (name.size() > 0xFFFF || result.bodySize > limit32 || entry.data.size() > limit32)
            return ZipArchiveError::archiveTooLarge();
        result.localHeaderOffsets.append(result.bodySize);
        result.bodySize += localHeaderSize + name.size() + entry.data.size();
        result.directorySize += centralHeaderSize + name.size();
        result.names.append(std::move(name));
        // Stop adding up once the sum is past any size the format allows.
        if (result.bodySize + result.directorySize > limit32)
            return ZipArchiveError::archiveTooLarge();
    }
    return result;
}

} // namespace

Result<qint64, ZipArchiveError> ZipArchiveWriter::archiveSize(const QList<ZipEntry> &entries)
{
    const auto planned = layout(entries);
    if (!planned)
        return planned.error();
    return planned.value().bodySize + planned.value().directorySize + endRecordSize;
}

Result<QByteArray, ZipArchiveError> ZipArchiveWriter::archive(const QList<ZipEntry> &entries)
{
    const auto planned = layout(entries);
    if (!planned)
        return planned.error();
    const Layout &plan = planned.value();
    QByteArray bytes = ZipArchive::largeBuffer(plan.bodySize + plan.directorySize + endRecordSize);
    uchar *const start = reinterpret_cast<uchar *>(bytes.data());
    // Every entry's place is known, so large archives are filled in on
    // several threads; the directory follows once all checksums are known.
    std::vector<quint32> checksums(size_t(entries.size()));
    auto writeEntry = [&](qsizetype i) {
        const QByteArray &name = plan.names[i];
        const QByteArray &data = entries[i].data;
        Output header(start + plan.localHeaderOffsets[i]);
        Output body = header;
        body.skip(localHeaderSize); // filled in once the CRC is known
        body.append(name.constData(), name.size());
        checksums[size_t(i)] = body.appendWithChecksum(data);
        localFileHeader(header, quint16(name.size()), checksums[size_t(i)], quint32(data.size()));
    };
    constexpr qint64 parallelThreshold = 16 << 20;
    parallelFor(entries.size(), writeEntry, plan.bodySize >= parallelThreshold ? std::thread::hardware_concurrency() : 1);
    Output directory(start + plan.bodySize);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray &name = plan.names[i];
        centralDirectoryHeader(directory, quint16(name.size()), checksums[size_t(i)], quint32(entries[i].data.size()),
                               quint32(plan.localHeaderOffsets[i]));
        directory.append(name.constData(), name.size());
    }
    endOfCentralDirectory(directory, quint16(entries.size()), quint32(plan.directorySize), quint32(plan.bodySize));
    return bytes;
}
