#include "archive/ZipArchiveReader.h"

#include "archive/ZipArchive.h"
#include "platform/WorkerPools.h"

#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentMap>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr quint32 endOfCentralDirectorySignature = 0x06054B50;
constexpr quint32 centralHeaderSignature = 0x02014B50;
constexpr quint32 localHeaderSignature = 0x04034B50;
constexpr qint64 endRecordSize = 22;
constexpr qint64 endRecordSearchWindow = endRecordSize + 0xFFFF;

// Raised inside the reader and turned into the result at its boundary.
struct ReadFailure {
    ZipArchiveError error;
};

[[noreturn]] void fail(ZipArchiveError error)
{
    throw ReadFailure{std::move(error)};
}

struct Bytes {
    const uchar *data;
    qint64 length;

    // The bounds-checked read every field goes through.
    const uchar *readBytes(qint64 offset, qint64 count) const
    {
        if (offset < 0 || count < 0 || offset > length || count > length - offset)
            fail(ZipArchiveError::truncated());
        return data + offset;
    }
    quint16 readUInt16(qint64 offset) const
    {
        const uchar *b = readBytes(offset, 2);
        return quint16(b[0] | (b[1] << 8));
    }
    quint32 readUInt32(qint64 offset) const
    {
        return quint32(readUInt16(offset)) | (quint32(readUInt16(offset + 2)) << 16);
    }
};

struct EndOfCentralDirectory {
    quint16 entryCount;
    qint64 directoryOffset;
};

struct CentralHeader {
    QString path;
    quint16 compressionMethod;
    quint32 checksum;
    qint64 compressedSize;
    qint64 uncompressedSize;
    qint64 localHeaderOffset;
    qint64 nextHeaderOffset;
};

EndOfCentralDirectory findEndOfCentralDirectory(const Bytes &archive)
{
    const qint64 length = archive.length;
    if (length < endRecordSize)
        fail(ZipArchiveError::notAZipArchive());
    const qint64 window = qMin(length, endRecordSearchWindow);
    for (qint64 p = length - endRecordSize; p >= length - window; --p) {
        if (archive.readUInt32(p) != endOfCentralDirectorySignature)
            continue;
        const quint16 count = archive.readUInt16(p + 10);
        const quint32 offset = archive.readUInt32(p + 16);
        if (count == 0xFFFF || offset == 0xFFFFFFFF)
            fail(ZipArchiveError::unsupportedZip64());
        return {count, offset};
    }
    fail(ZipArchiveError::notAZipArchive());
}

QString decodeName(const uchar *bytes, qint64 length)
{
    // A leading byte order mark is part of the name, not a marker. The name
    // is decoded whole: a sequence cut short at its end is an error, not
    // state kept for input that never comes.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    QString name = decoder.decode(QByteArrayView(bytes, length));
    if (decoder.hasError())
        fail(ZipArchiveError::truncated());
    return name;
}

CentralHeader parseCentralHeader(const Bytes &archive, qint64 offset)
{
    if (archive.readUInt32(offset) != centralHeaderSignature)
        fail(ZipArchiveError::truncated());
    const quint32 compressedSize = archive.readUInt32(offset + 20);
    const quint32 uncompressedSize = archive.readUInt32(offset + 24);
    const quint16 nameLength = archive.readUInt16(offset + 28);
    const quint16 extraLength = archive.readUInt16(offset + 30);
    const quint16 commentLength = archive.readUInt16(offset + 32);
    const quint32 localHeaderOffset = archive.readUInt32(offset + 42);
    if (compressedSize == 0xFFFFFFFF || uncompressedSize == 0xFFFFFFFF || localHeaderOffset == 0xFFFFFFFF)
        fail(ZipArchiveError::unsupportedZip64());
    const uchar *name = archive.readBytes(offset + 46, nameLength);
    CentralHeader header;
    header.path = decodeName(name, nameLength);
    header.compressionMethod = archive.readUInt16(offset + 10);
    header.checksum = archive.readUInt32(offset + 16);
    header.compressedSize = compressedSize;
    header.uncompressedSize = uncompressedSize;
    header.localHeaderOffset = localHeaderOffset;
    header.nextHeaderOffset = offset + 46 + nameLength + extraLength + commentLength;
    return header;
}

qint64 localDataOffset(const CentralHeader &header, const Bytes &archive)
{
    const qint64 at = header.localHeaderOffset;
    if (archive.readUInt32(at) != localHeaderSignature)
        fail(ZipArchiveError::truncated());
    const quint16 nameLength = archive.readUInt16(at + 26);
    const quint16 extraLength = archive.readUInt16(at + 28);
    return at + 30 + nameLength + extraLength;
}

// Decodes a raw DEFLATE stream (RFC 1951) until `expectedSize` bytes are out,
// in pieces of at most 64 KiB: `destination(offset, n)` gives where the next
// n bytes go and `consume(bytes, n)` sees them once written. A stream that
// would yield more is cut at `expectedSize`; one that fails or ends earlier
// gives false. Whether the bytes are kept or only looked at, the decoder
// sees the same pieces, so both ways judge a stream alike.
template <typename Destination, typename Consume>
bool inflate(const uchar *input, qint64 inputLength, qint64 expectedSize, Destination destination, Consume consume)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        throw std::bad_alloc();
    stream.next_in = const_cast<uchar *>(input);
    stream.avail_in = uInt(inputLength);
    constexpr qint64 pieceSize = 64 * 1024;
    qint64 produced = 0;
    while (produced < expectedSize) {
        const qint64 room = qMin(pieceSize, expectedSize - produced);
        uchar *out = destination(produced, room);
        stream.next_out = out;
        stream.avail_out = uInt(room);
        const int status = ::inflate(&stream, Z_NO_FLUSH);
        const qint64 got = room - qint64(stream.avail_out);
        consume(out, got);
        produced += got;
        if (status != Z_OK)
            break; // the end of the stream, a damaged stream, or no progress possible
    }
    inflateEnd(&stream);
    return produced == expectedSize;
}

class Walk {
public:
    Walk(const QByteArray &archive, const ZipArchiveReader::KeepFilter &keep)
        : m_archive(archive), m_bytes{reinterpret_cast<const uchar *>(archive.constData()), archive.size()},
          m_keep(keep)
    {
    }

    ZipArchiveReader::Entries run()
    {
        const EndOfCentralDirectory end = findEndOfCentralDirectory(m_bytes);
        // The directory is walked first, then every entry's data is placed,
        // and only then are the entries checked, large archives on several
        // threads. Failures are reported as a walk one entry after the other
        // would meet them: an entry's own fault before a fault of a later
        // central record.
        struct Job {
            CentralHeader header;
            bool keep;
            qint64 dataOffset = 0;
            QByteArray bytes;
            std::optional<ZipArchiveError> error;
            std::exception_ptr exception; // such as running out of memory
        };
        std::vector<Job> jobs;
        std::optional<ZipArchiveError> directoryError;
        qint64 dataSize = 0;
        qint64 offset = end.directoryOffset;
        for (int i = 0; i < end.entryCount; ++i) {
            try {
                CentralHeader header = parseCentralHeader(m_bytes, offset);
                offset = header.nextHeaderOffset;
                if (header.path.endsWith(QLatin1Char('/')))
                    continue;
                dataSize += header.compressedSize;
                const bool keep = !m_keep || m_keep(header.path);
                jobs.push_back({std::move(header), keep, 0, QByteArray(), std::nullopt, nullptr});
            } catch (const ReadFailure &failure) {
                directoryError = failure.error;
                break;
            }
        }

        // Where each entry's data lies. An entry whose local header or data
        // can't be found is checked no further, nor is any after it.
        qsizetype placed = 0;
        for (; placed < qsizetype(jobs.size()); ++placed) {
            Job &job = jobs[size_t(placed)];
            try {
                job.dataOffset = localDataOffset(job.header, m_bytes);
                m_bytes.readBytes(job.dataOffset, job.header.compressedSize);
            } catch (const ReadFailure &failure) {
                job.error = failure.error;
                break;
            }
        }
        // Entries whose bytes overlap are refused before anything is
        // inflated: many records sharing one stream would let a small file
        // stand for any amount of data, and checking it would take as long.
        std::vector<std::pair<qint64, qint64>> ranges;
        ranges.reserve(size_t(placed));
        for (qsizetype i = 0; i < placed; ++i) {
            const Job &job = jobs[size_t(i)];
            ranges.emplace_back(job.header.localHeaderOffset, job.dataOffset + job.header.compressedSize);
        }
        std::sort(ranges.begin(), ranges.end());
        for (size_t i = 1; i < ranges.size(); ++i) {
            if (ranges[i].first < ranges[i - 1].second)
                fail(ZipArchiveError::truncated());
        }

        const qsizetype checked = placed;
        std::atomic<qsizetype> firstFailure{placed};
        auto check = [&](Job &job) {
            const qsizetype i = &job - jobs.data();
            if (i > firstFailure)
                return; // an earlier entry has failed already
            try {
                job.bytes = extract(job.header, job.dataOffset, job.keep);
            } catch (const ReadFailure &failure) {
                job.error = failure.error;
            } catch (...) {
                job.exception = std::current_exception();
            }
            if (job.error || job.exception) {
                for (qsizetype seen = firstFailure; i < seen && !firstFailure.compare_exchange_weak(seen, i);) {
                }
            }
        };
        constexpr qint64 parallelThreshold = 16 << 20;
        if (dataSize >= parallelThreshold && checked > 1) {
            QtConcurrent::blockingMap(&WorkerPools::computing(), jobs.begin(), jobs.begin() + checked, check);
        } else {
            for (qsizetype i = 0; i < checked; ++i)
                check(jobs[size_t(i)]);
        }
        if (firstFailure < qsizetype(jobs.size())) {
            const Job &failed = jobs[size_t(firstFailure.load())];
            if (failed.exception)
                std::rethrow_exception(failed.exception);
            fail(*failed.error);
        }
        if (directoryError)
            fail(*directoryError);

        ZipArchiveReader::Entries result;
        for (Job &job : jobs) {
            if (job.keep)
                result.insert(job.header.path, std::move(job.bytes));
            else
                result.remove(job.header.path); // a later record replaces an earlier one
        }
        return result;
    }

    QByteArray lookUp(const QString &path)
    {
        const EndOfCentralDirectory end = findEndOfCentralDirectory(m_bytes);
        std::optional<CentralHeader> found;
        qint64 offset = end.directoryOffset;
        for (int i = 0; i < end.entryCount; ++i) {
            CentralHeader header = parseCentralHeader(m_bytes, offset);
            offset = header.nextHeaderOffset;
            if (header.path == path && !path.endsWith(QLatin1Char('/')))
                found = std::move(header);
        }
        return found ? extract(*found, localDataOffset(*found, m_bytes), true) : QByteArray();
    }

private:
    QByteArray extract(const CentralHeader &header, qint64 dataOffset, bool keep)
    {
        const uchar *compressed = m_bytes.readBytes(dataOffset, header.compressedSize);
        QByteArray output;
        quint32 checksum = 0;
        switch (header.compressionMethod) {
        case 8:
            if (header.uncompressedSize == 0)
                break;
            // No stream this short can decode to the declared size: refuse
            // before reserving room for it.
            if (header.uncompressedSize > ZipArchiveReader::maximumInflatedSize(header.compressedSize))
                fail(ZipArchiveError::truncated());
            if (keep) {
                output = QByteArray(header.uncompressedSize, Qt::Uninitialized);
                uchar *start = reinterpret_cast<uchar *>(output.data());
                if (!inflate(
                        compressed, header.compressedSize, header.uncompressedSize,
                        [start](qint64 offset, qint64) { return start + offset; }, [](const uchar *, qint64) {}))
                    fail(ZipArchiveError::truncated());
                checksum = ZipArchive::crc32(output);
            } else {
                // Verified piece by piece in one small buffer.
                const auto piece = std::make_unique<uchar[]>(64 * 1024);
                if (!inflate(
                        compressed, header.compressedSize, header.uncompressedSize,
                        [&piece](qint64, qint64) { return piece.get(); },
                        [&checksum](const uchar *bytes, qint64 n) {
                            checksum = ZipArchive::crc32(QByteArrayView(bytes, n), checksum);
                        }))
                    fail(ZipArchiveError::truncated());
            }
            break;
        case 0:
            if (header.compressedSize != header.uncompressedSize)
                fail(ZipArchiveError::checksumMismatch(header.path));
            checksum = ZipArchive::crc32(QByteArrayView(compressed, header.compressedSize));
            if (keep)
                output = ZipArchive::sharedSlice(m_archive, dataOffset, header.compressedSize);
            break;
        default:
            fail(ZipArchiveError::unsupportedCompression(header.compressionMethod));
        }
        if (checksum != header.checksum)
            fail(ZipArchiveError::checksumMismatch(header.path));
        return output;
    }

    const QByteArray &m_archive;
    Bytes m_bytes;
    const ZipArchiveReader::KeepFilter &m_keep;
};

} // namespace

ZipArchiveError ZipArchiveReader::tooLargeToRead(const QByteArray &tail)
{
    try {
        findEndOfCentralDirectory({reinterpret_cast<const uchar *>(tail.constData()), tail.size()});
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
    return ZipArchiveError::unsupportedZip64();
}

QByteArray ZipArchiveReader::lookUp(const QByteArray &archive, const QString &path)
{
    try {
        return Walk(archive, KeepFilter()).lookUp(path);
    } catch (const ReadFailure &) {
        return QByteArray();
    }
}

Result<ZipArchiveReader::Entries, ZipArchiveError> ZipArchiveReader::entries(const QByteArray &archive)
{
    return entries(archive, KeepFilter());
}

Result<ZipArchiveReader::Entries, ZipArchiveError> ZipArchiveReader::entries(const QByteArray &archive,
                                                                             const KeepFilter &keep)
{
    try {
        return Walk(archive, keep).run();
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
}
