#include "archive/ZipArchiveWriter.h"

#include "archive/ZipArchive.h"
#include "platform/WorkerPools.h"

#include <QIODevice>
#include <QtConcurrent/QtConcurrentMap>

#include <cstring>
#include <numeric>

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
    std::vector<QByteArray> names;
    std::vector<qint64> sizes;
    std::vector<qint64> localHeaderOffsets;
    qint64 bodySize = 0;
    qint64 directorySize = 0;

    qint64 archiveSize() const { return bodySize + directorySize + endRecordSize; }
};

// Checks every limit of the format from the lengths alone. `entry(i)`
// gives the path and the data length of entry i.
template <typename Entry>
Result<Layout, ZipArchiveError> layout(qsizetype count, Entry entry)
{
    if (count > ZipArchiveWriter::maximumEntryCount)
        return ZipArchiveError::archiveTooLarge();
    Layout result;
    result.names.reserve(size_t(count));
    result.sizes.reserve(size_t(count));
    result.localHeaderOffsets.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        const auto [path, size] = entry(i);
        QByteArray name = path.toUtf8();
        if (name.size() > 0xFFFF || result.bodySize > limit32 || size > limit32)
            return ZipArchiveError::archiveTooLarge();
        result.localHeaderOffsets.push_back(result.bodySize);
        result.bodySize += localHeaderSize + name.size() + size;
        result.directorySize += centralHeaderSize + name.size();
        result.names.push_back(std::move(name));
        result.sizes.push_back(size);
        // Stop adding up once the sum is past any size the format allows.
        if (result.bodySize + result.directorySize > limit32)
            return ZipArchiveError::archiveTooLarge();
    }
    return result;
}

Result<Layout, ZipArchiveError> layout(const QList<ZipEntry> &entries)
{
    return layout(entries.size(), [&](qsizetype i) { return std::pair(entries[i].path, entries[i].data.size()); });
}

// The central directory and the end record, written at `out`.
void directory(Output &out, const std::vector<QByteArray> &names, const std::vector<qint64> &sizes,
               const std::vector<qint64> &offsets, const std::vector<quint32> &checksums, qint64 bodySize,
               qint64 directorySize)
{
    for (size_t i = 0; i < names.size(); ++i) {
        centralDirectoryHeader(out, quint16(names[i].size()), checksums[i], quint32(sizes[i]), quint32(offsets[i]));
        out.append(names[i].constData(), names[i].size());
    }
    endOfCentralDirectory(out, quint16(names.size()), quint32(directorySize), quint32(bodySize));
}

// A write cut short (the disk filled up on the way) goes on with the rest,
// so that the write that fails leaves the device with the system's reason.
bool writeAll(QIODevice &device, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = device.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

Result<qint64, ZipArchiveError> ZipArchiveWriter::archiveSize(const QList<ZipEntry> &entries)
{
    const auto planned = layout(entries);
    if (!planned)
        return planned.error();
    return planned.value().archiveSize();
}

Result<QByteArray, ZipArchiveError> ZipArchiveWriter::archive(const QList<ZipEntry> &entries)
{
    const auto planned = layout(entries);
    if (!planned)
        return planned.error();
    const Layout &plan = planned.value();
    QByteArray bytes = ZipArchive::largeBuffer(plan.archiveSize());
    uchar *const start = reinterpret_cast<uchar *>(bytes.data());
    // Every entry's place is known, so large archives are filled in on
    // several threads; the directory follows once all checksums are known.
    std::vector<quint32> checksums(size_t(entries.size()));
    auto writeEntry = [&](qsizetype i) {
        const QByteArray &name = plan.names[size_t(i)];
        const QByteArray &data = entries[i].data;
        Output header(start + plan.localHeaderOffsets[size_t(i)]);
        Output body = header;
        body.skip(localHeaderSize); // filled in once the CRC is known
        body.append(name.constData(), name.size());
        checksums[size_t(i)] = body.appendWithChecksum(data);
        localFileHeader(header, quint16(name.size()), checksums[size_t(i)], quint32(data.size()));
    };
    constexpr qint64 parallelThreshold = 16 << 20;
    if (plan.bodySize >= parallelThreshold) {
        std::vector<qsizetype> indices(size_t(entries.size()));
        std::iota(indices.begin(), indices.end(), 0);
        QtConcurrent::blockingMap(&WorkerPools::computing(), indices, writeEntry);
    } else {
        for (qsizetype i = 0; i < entries.size(); ++i)
            writeEntry(i);
    }
    Output out(start + plan.bodySize);
    directory(out, plan.names, plan.sizes, plan.localHeaderOffsets, checksums, plan.bodySize, plan.directorySize);
    return bytes;
}

Result<ZipArchiveStreamWriter, ZipArchiveError> ZipArchiveStreamWriter::plan(const QList<Entry> &entries)
{
    auto planned = layout(entries.size(), [&](qsizetype i) { return std::pair(entries[i].path, entries[i].size); });
    if (!planned)
        return planned.error();
    Layout &plan = planned.value();
    ZipArchiveStreamWriter writer;
    writer.m_names = std::move(plan.names);
    writer.m_sizes = std::move(plan.sizes);
    writer.m_offsets = std::move(plan.localHeaderOffsets);
    writer.m_checksums.reserve(writer.m_names.size());
    writer.m_bodySize = plan.bodySize;
    writer.m_directorySize = plan.directorySize;
    return writer;
}

qint64 ZipArchiveStreamWriter::archiveSize() const
{
    return m_bodySize + m_directorySize + endRecordSize;
}

bool ZipArchiveStreamWriter::writeEntry(QIODevice &device, QByteArrayView data)
{
    if (m_written >= entryCount() || data.size() != m_sizes[size_t(m_written)])
        return false;
    const QByteArray &name = m_names[size_t(m_written)];
    const quint32 checksum = ZipArchive::crc32(data);
    uchar header[localHeaderSize];
    Output out(header);
    localFileHeader(out, quint16(name.size()), checksum, quint32(data.size()));
    if (!writeAll(device, reinterpret_cast<const char *>(header), localHeaderSize)
        || !writeAll(device, name.constData(), name.size()) || !writeAll(device, data.data(), data.size()))
        return false;
    m_checksums.push_back(checksum);
    ++m_written;
    return true;
}

bool ZipArchiveStreamWriter::finish(QIODevice &device)
{
    if (m_written != entryCount())
        return false;
    QByteArray tail(m_directorySize + endRecordSize, Qt::Uninitialized);
    Output out(reinterpret_cast<uchar *>(tail.data()));
    directory(out, m_names, m_sizes, m_offsets, m_checksums, m_bodySize, m_directorySize);
    return writeAll(device, tail.constData(), tail.size());
}
