#include "archive/ZipArchiveReader.h"

#include "archive/ZipArchive.h"
#include "platform/RegularFile.h"
#include "platform/WorkerPools.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QVarLengthArray>
#include <QtConcurrent/QtConcurrentMap>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct ZipArchiveReader::Directory::Record {
    QString path;
    quint16 compressionMethod;
    quint32 checksum;
    qint64 compressedSize;
    qint64 uncompressedSize;
    qint64 localHeaderOffset;
    qint64 nextHeaderOffset;
};

// ---- The archive's bytes

struct ZipArchiveSource::State {
    QByteArray bytes; // in memory
    int fd = -1;      // or in this file
    qint64 size = 0;
    FileIdentity identity; // the file's, when opened

    ~State()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

ZipArchiveSource ZipArchiveSource::memory(const QByteArray &bytes)
{
    auto state = std::make_shared<State>();
    state->bytes = bytes;
    state->size = bytes.size();
    ZipArchiveSource source;
    source.m = std::move(state);
    return source;
}

Result<ZipArchiveSource, FileReadError> ZipArchiveSource::open(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return FileReadError::fromSystemError(errno, name);
    auto state = std::make_shared<State>();
    state->fd = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return FileReadError::fromSystemError(errno, name);
    if (!S_ISREG(info.st_mode))
        return FileReadError{FileReadError::Reason::notRegularFile, name, 0};
    const std::optional<FileIdentity> identity = FileIdentity::ofDescriptor(fd);
    if (!identity)
        return FileReadError::fromSystemError(errno, name);
    state->size = identity->size;
    state->identity = *identity;
    ZipArchiveSource source;
    source.m = std::move(state);
    return source;
}

bool ZipArchiveSource::isUnchanged() const
{
    if (m->fd < 0)
        return true;
    const std::optional<FileIdentity> now = FileIdentity::ofDescriptor(m->fd);
    return now && now->holdsTheSameBytesAs(m->identity);
}

qint64 ZipArchiveSource::size() const
{
    return m->size;
}

const QByteArray *ZipArchiveSource::bytes() const
{
    return m->fd < 0 ? &m->bytes : nullptr;
}

bool ZipArchiveSource::read(qint64 offset, qint64 count, uchar *into) const
{
    if (offset < 0 || count < 0 || offset > m->size || count > m->size - offset)
        return false;
    if (m->fd < 0) {
        if (count > 0)
            std::memcpy(into, m->bytes.constData() + offset, size_t(count));
        return true;
    }
    while (count > 0) {
        const ssize_t got = ::pread(m->fd, into, size_t(count), off_t(offset));
        if (got > 0) {
            offset += got;
            into += got;
            count -= got;
        } else if (got == 0 || errno != EINTR) {
            return false; // the file shrank, or can't be read
        }
    }
    return true;
}

namespace {

constexpr quint32 endOfCentralDirectorySignature = 0x06054B50;
constexpr quint32 centralHeaderSignature = 0x02014B50;
constexpr quint32 localHeaderSignature = 0x04034B50;
constexpr qint64 endRecordSize = 22;
constexpr qint64 endRecordSearchWindow = endRecordSize + 0xFFFF;
constexpr qint64 centralHeaderSize = 46;
constexpr qint64 localHeaderSize = 30;
// Entry bytes are read and inflated in pieces of these sizes.
constexpr qint64 inputPieceSize = 1 << 20;
constexpr qint64 outputPieceSize = 256 * 1024;

// Raised inside the reader and turned into the result at its boundary.
struct ReadFailure {
    ZipArchiveError error;
};

[[noreturn]] void fail(ZipArchiveError error)
{
    throw ReadFailure{std::move(error)};
}

quint16 uint16At(const uchar *b)
{
    return quint16(b[0] | (b[1] << 8));
}

quint32 uint32At(const uchar *b)
{
    return quint32(uint16At(b)) | (quint32(uint16At(b + 2)) << 16);
}

// The bounds-checked read every field goes through: `count` bytes at
// `offset`, or truncated.
void readBytes(const ZipArchiveSource &source, qint64 offset, qint64 count, uchar *into)
{
    if (!source.read(offset, count, into))
        fail(ZipArchiveError::truncated());
}

struct EndOfCentralDirectory {
    quint16 entryCount;
    qint64 directoryOffset;
};

using CentralHeader = ZipArchiveReader::Directory::Record;

EndOfCentralDirectory findEndOfCentralDirectory(const uchar *tail, qint64 window, qint64 length)
{
    if (length < endRecordSize)
        fail(ZipArchiveError::notAZipArchive());
    // `tail` holds the last `window` bytes of the archive.
    for (qint64 p = window - endRecordSize; p >= 0; --p) {
        if (uint32At(tail + p) != endOfCentralDirectorySignature)
            continue;
        const quint16 count = uint16At(tail + p + 10);
        const quint32 offset = uint32At(tail + p + 16);
        if (count == 0xFFFF || offset == 0xFFFFFFFF)
            fail(ZipArchiveError::unsupportedZip64());
        return {count, offset};
    }
    fail(ZipArchiveError::notAZipArchive());
}

EndOfCentralDirectory findEndOfCentralDirectory(const ZipArchiveSource &source)
{
    const qint64 length = source.size();
    if (length < endRecordSize)
        fail(ZipArchiveError::notAZipArchive());
    const qint64 window = qMin(length, endRecordSearchWindow);
    if (const QByteArray *bytes = source.bytes()) {
        return findEndOfCentralDirectory(reinterpret_cast<const uchar *>(bytes->constData()) + length - window, window,
                                         length);
    }
    std::vector<uchar> tail(static_cast<size_t>(window));
    readBytes(source, length - window, window, tail.data());
    return findEndOfCentralDirectory(tail.data(), window, length);
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

CentralHeader parseCentralHeader(const ZipArchiveSource &source, qint64 offset)
{
    // Every field lies in the fixed part: a record cut short anywhere in it
    // fails as a read of its first missing field would.
    uchar fixed[centralHeaderSize];
    readBytes(source, offset, centralHeaderSize, fixed);
    if (uint32At(fixed) != centralHeaderSignature)
        fail(ZipArchiveError::truncated());
    const quint32 compressedSize = uint32At(fixed + 20);
    const quint32 uncompressedSize = uint32At(fixed + 24);
    const quint16 nameLength = uint16At(fixed + 28);
    const quint16 extraLength = uint16At(fixed + 30);
    const quint16 commentLength = uint16At(fixed + 32);
    const quint32 localHeaderOffset = uint32At(fixed + 42);
    if (compressedSize == 0xFFFFFFFF || uncompressedSize == 0xFFFFFFFF || localHeaderOffset == 0xFFFFFFFF)
        fail(ZipArchiveError::unsupportedZip64());
    QVarLengthArray<uchar, 256> name(nameLength);
    readBytes(source, offset + centralHeaderSize, nameLength, name.data());
    CentralHeader header;
    header.path = decodeName(name.data(), nameLength);
    header.compressionMethod = uint16At(fixed + 10);
    header.checksum = uint32At(fixed + 16);
    header.compressedSize = compressedSize;
    header.uncompressedSize = uncompressedSize;
    header.localHeaderOffset = localHeaderOffset;
    header.nextHeaderOffset = offset + centralHeaderSize + nameLength + extraLength + commentLength;
    return header;
}

// Where the entry's data begins; its bounds are checked as well.
qint64 localDataOffset(const CentralHeader &header, const ZipArchiveSource &source)
{
    const qint64 at = header.localHeaderOffset;
    uchar fixed[localHeaderSize];
    readBytes(source, at, localHeaderSize, fixed);
    if (uint32At(fixed) != localHeaderSignature)
        fail(ZipArchiveError::truncated());
    const qint64 dataOffset = at + localHeaderSize + uint16At(fixed + 26) + uint16At(fixed + 28);
    if (dataOffset > source.size() || header.compressedSize > source.size() - dataOffset)
        fail(ZipArchiveError::truncated());
    return dataOffset;
}

// One entry's bytes as they are read and inflated, in pieces: stored bytes
// as they lie, a raw DEFLATE stream (RFC 1951) decoded until the declared
// size is out. A stream that would yield more is cut there; one that fails
// or ends earlier is truncated. The size and the CRC-32 are checked at the
// end (finish()). Throws ReadFailure.
class Inflow {
public:
    Inflow(const ZipArchiveSource &source, const CentralHeader &header, qint64 dataOffset)
        : m_source(source), m_header(header), m_next(dataOffset), m_inputLeft(header.compressedSize)
    {
        if (dataOffset < 0 || dataOffset > source.size() || header.compressedSize > source.size() - dataOffset)
            fail(ZipArchiveError::truncated());
        switch (header.compressionMethod) {
        case 8:
            if (header.uncompressedSize == 0) {
                m_inputLeft = 0; // nothing is decoded
                break;
            }
            // No stream this short can decode to the declared size: refuse
            // before reading it.
            if (header.uncompressedSize > ZipArchiveReader::maximumInflatedSize(header.compressedSize))
                fail(ZipArchiveError::truncated());
            if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
                throw std::bad_alloc();
            m_inflating = true;
            break;
        case 0:
            if (header.compressedSize != header.uncompressedSize)
                fail(ZipArchiveError::checksumMismatch(header.path));
            break;
        default:
            fail(ZipArchiveError::unsupportedCompression(header.compressionMethod));
        }
    }

    ~Inflow()
    {
        if (m_inflating)
            inflateEnd(&m_stream);
    }

    Inflow(const Inflow &) = delete;
    Inflow &operator=(const Inflow &) = delete;

    // Up to `max` more bytes into `into`; 0 at the end.
    qint64 read(uchar *into, qint64 max)
    {
        const qint64 got = m_header.compressionMethod == 0 ? readStored(into, max) : readDeflated(into, max);
        m_checksum = ZipArchive::crc32(QByteArrayView(into, got), m_checksum);
        m_produced += got;
        return got;
    }

    // Calls `consume(bytes, n)` with every piece left, then checks the
    // size and the CRC-32. Stored bytes of an archive in memory are passed
    // where they lie.
    template <typename Consume>
    void drain(Consume consume)
    {
        const QByteArray *memory = m_source.bytes();
        if (m_header.compressionMethod == 0 && memory) {
            const auto *bytes = reinterpret_cast<const uchar *>(memory->constData()) + m_next;
            for (qint64 done = 0; done < m_inputLeft;) {
                const qint64 n = qMin(inputPieceSize, m_inputLeft - done);
                m_checksum = ZipArchive::crc32(QByteArrayView(bytes + done, n), m_checksum);
                consume(bytes + done, n);
                done += n;
            }
            m_produced += m_inputLeft;
            m_inputLeft = 0;
        } else {
            if (!m_piece)
                m_piece = std::make_unique<uchar[]>(size_t(outputPieceSize));
            for (qint64 got; (got = read(m_piece.get(), outputPieceSize)) > 0;)
                consume(static_cast<const uchar *>(m_piece.get()), got);
        }
        finish();
    }

    void finish()
    {
        if (!m_piece)
            m_piece = std::make_unique<uchar[]>(size_t(outputPieceSize));
        while (read(m_piece.get(), outputPieceSize) > 0) {
        }
        if (m_produced != m_header.uncompressedSize)
            fail(ZipArchiveError::truncated()); // only a deflated entry can fall short
        if (m_checksum != m_header.checksum)
            fail(ZipArchiveError::checksumMismatch(m_header.path));
    }

private:
    qint64 readStored(uchar *into, qint64 max)
    {
        const qint64 n = qMin(max, m_inputLeft);
        readBytes(m_source, m_next, n, into);
        m_next += n;
        m_inputLeft -= n;
        return n;
    }

    // Feeds the stream its next piece of input: where it lies in memory, or
    // read from the file.
    void refill()
    {
        const qint64 n = qMin(m_source.bytes() ? qint64(0xFFFFFFFF) : inputPieceSize, m_inputLeft);
        if (const QByteArray *memory = m_source.bytes()) {
            m_stream.next_in = const_cast<Bytef *>(reinterpret_cast<const Bytef *>(memory->constData() + m_next));
        } else {
            if (!m_input)
                m_input = std::make_unique<uchar[]>(size_t(inputPieceSize));
            readBytes(m_source, m_next, n, m_input.get());
            m_stream.next_in = m_input.get();
        }
        m_stream.avail_in = uInt(n);
        m_next += n;
        m_inputLeft -= n;
    }

    qint64 readDeflated(uchar *into, qint64 max)
    {
        const qint64 room = qMin(max, m_header.uncompressedSize - m_produced);
        if (!m_inflating || m_ended || room <= 0)
            return 0;
        m_stream.next_out = into;
        m_stream.avail_out = uInt(room);
        while (m_stream.avail_out > 0) {
            if (m_stream.avail_in == 0 && m_inputLeft > 0)
                refill();
            const int status = ::inflate(&m_stream, Z_NO_FLUSH);
            if (status != Z_OK || (m_stream.avail_in == 0 && m_inputLeft == 0 && m_stream.avail_out > 0)) {
                // The end of the stream, a damaged stream, or no input left
                // to make progress with.
                m_ended = true;
                break;
            }
        }
        return room - qint64(m_stream.avail_out);
    }

    const ZipArchiveSource &m_source;
    const CentralHeader &m_header;
    qint64 m_next;      // where the next input lies
    qint64 m_inputLeft; // input bytes not read yet
    qint64 m_produced = 0;
    quint32 m_checksum = 0;
    z_stream m_stream{};
    bool m_inflating = false;
    bool m_ended = false;
    std::unique_ptr<uchar[]> m_input;
    std::unique_ptr<uchar[]> m_piece;
};

// How a job's entry is checked: its bytes kept in memory, handed on piece
// by piece, or only verified.
struct Job {
    const CentralHeader *header;
    bool keep = false; // its bytes kept or handed on, else only verified
    qint64 dataOffset = 0;
    QByteArray bytes;
    std::optional<ZipArchiveError> error;
    bool stopped = false;
    std::exception_ptr exception; // such as running out of memory
};

QByteArray extract(const ZipArchiveSource &source, const CentralHeader &header, qint64 dataOffset, bool keep)
{
    Inflow flow(source, header, dataOffset);
    if (!keep) {
        flow.drain([](const uchar *, qint64) {});
        return QByteArray();
    }
    if (header.compressionMethod == 0 && source.bytes()) {
        flow.drain([](const uchar *, qint64) {});
        return ZipArchive::sharedSlice(*source.bytes(), dataOffset, header.compressedSize);
    }
    QByteArray output = header.uncompressedSize > 0 ? QByteArray(header.uncompressedSize, Qt::Uninitialized) : QByteArray();
    auto *start = reinterpret_cast<uchar *>(output.data());
    for (qint64 filled = 0, got; filled < output.size() && (got = flow.read(start + filled, output.size() - filled)) > 0;)
        filled += got;
    flow.finish();
    return output;
}

// Places every job's data (in order, stopping at the first that can't be
// placed, whose error it records), refuses overlapping entries, then checks
// the placed ones with `check`, large archives on several threads. Returns
// the index of the first job that failed, or jobs.size().
template <typename Check>
qsizetype placeAndCheck(const ZipArchiveSource &source, std::vector<Job> &jobs, Check check)
{
    qsizetype placed = 0;
    qint64 dataSize = 0;
    for (; placed < qsizetype(jobs.size()); ++placed) {
        Job &job = jobs[size_t(placed)];
        try {
            job.dataOffset = localDataOffset(*job.header, source);
            dataSize += job.header->compressedSize;
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
        ranges.emplace_back(job.header->localHeaderOffset, job.dataOffset + job.header->compressedSize);
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second)
            fail(ZipArchiveError::truncated());
    }

    std::atomic<qsizetype> firstFailure{placed};
    auto run = [&](Job &job) {
        const qsizetype i = &job - jobs.data();
        if (i > firstFailure)
            return; // an earlier entry has failed already
        try {
            check(job);
        } catch (const ReadFailure &failure) {
            job.error = failure.error;
        } catch (...) {
            job.exception = std::current_exception();
        }
        if (job.error || job.exception || job.stopped) {
            for (qsizetype seen = firstFailure; i < seen && !firstFailure.compare_exchange_weak(seen, i);) {
            }
        }
    };
    constexpr qint64 parallelThreshold = 16 << 20;
    if (dataSize >= parallelThreshold && placed > 1) {
        QtConcurrent::blockingMap(&WorkerPools::computing(), jobs.begin(), jobs.begin() + placed, run);
    } else {
        for (qsizetype i = 0; i < placed; ++i)
            run(jobs[size_t(i)]);
    }
    if (firstFailure < qsizetype(jobs.size()) && jobs[size_t(firstFailure.load())].exception)
        std::rethrow_exception(jobs[size_t(firstFailure.load())].exception);
    return firstFailure;
}

// Reads every central record: those that aren't directories, and the
// failure that ended the walk early, if any.
std::pair<std::vector<CentralHeader>, std::optional<ZipArchiveError>> walkDirectory(const ZipArchiveSource &source)
{
    const EndOfCentralDirectory end = findEndOfCentralDirectory(source);
    std::vector<CentralHeader> headers;
    qint64 offset = end.directoryOffset;
    for (int i = 0; i < end.entryCount; ++i) {
        try {
            CentralHeader header = parseCentralHeader(source, offset);
            offset = header.nextHeaderOffset;
            if (!header.path.endsWith(QLatin1Char('/')))
                headers.push_back(std::move(header));
        } catch (const ReadFailure &failure) {
            return {std::move(headers), failure.error};
        }
    }
    return {std::move(headers), std::nullopt};
}

ZipArchiveReader::Entries readAll(const ZipArchiveSource &source, const ZipArchiveReader::KeepFilter &keep)
{
    // The directory is walked first, then every entry's data is placed,
    // and only then are the entries checked. Failures are reported as a
    // walk one entry after the other would meet them: an entry's own fault
    // before a fault of a later central record.
    const auto [headers, directoryError] = walkDirectory(source);
    std::vector<Job> jobs;
    jobs.reserve(headers.size());
    for (const CentralHeader &header : headers)
        jobs.push_back({&header, !keep || keep(header.path), 0, QByteArray(), std::nullopt, false, nullptr});
    const qsizetype failed = placeAndCheck(source, jobs, [&source](Job &job) {
        job.bytes = extract(source, *job.header, job.dataOffset, job.keep);
    });
    if (failed < qsizetype(jobs.size()))
        fail(*jobs[size_t(failed)].error);
    if (directoryError)
        fail(*directoryError);

    ZipArchiveReader::Entries result;
    for (Job &job : jobs) {
        if (job.keep)
            result.insert(job.header->path, std::move(job.bytes));
        else
            result.remove(job.header->path); // a later record replaces an earlier one
    }
    return result;
}

class EntryReaderImpl final : public ZipArchiveReader::EntryReader {
public:
    EntryReaderImpl(const ZipArchiveSource &source, const CentralHeader &header, qint64 dataOffset)
        : m_source(source), m_header(header), m_flow(m_source, m_header, dataOffset)
    {
    }

    qint64 read(char *into, qint64 max) override
    {
        if (m_error)
            return -1;
        try {
            return m_flow.read(reinterpret_cast<uchar *>(into), max);
        } catch (const ReadFailure &failure) {
            m_error = failure.error;
            return -1;
        }
    }

    std::optional<ZipArchiveError> finish() override
    {
        if (!m_error) {
            try {
                m_flow.finish();
            } catch (const ReadFailure &failure) {
                m_error = failure.error;
            }
        }
        return m_error;
    }

private:
    const ZipArchiveSource m_source;
    const CentralHeader m_header;
    Inflow m_flow;
    std::optional<ZipArchiveError> m_error;
};

} // namespace


qint64 ZipArchiveReader::Directory::uncompressedSize(const QString &path) const
{
    return m_records->at(m_last.value(path)).uncompressedSize;
}

Result<ZipArchiveReader::Directory, ZipArchiveError> ZipArchiveReader::directory(const ZipArchiveSource &source)
{
    try {
        auto [headers, error] = walkDirectory(source);
        if (error)
            return *error;
        auto records = std::make_shared<QList<Directory::Record>>();
        records->reserve(qsizetype(headers.size()));
        Directory directory;
        for (CentralHeader &header : headers) {
            directory.m_last.insert(header.path, records->size());
            records->append(std::move(header));
        }
        directory.m_records = std::move(records);
        return directory;
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
}

Result<std::unique_ptr<ZipArchiveReader::EntryReader>, ZipArchiveError>
ZipArchiveReader::openEntry(const ZipArchiveSource &source, const Directory &directory, const QString &path)
{
    Q_ASSERT(directory.contains(path));
    try {
        const CentralHeader &header = directory.m_records->at(directory.m_last.value(path));
        std::unique_ptr<EntryReader> reader =
            std::make_unique<EntryReaderImpl>(source, header, localDataOffset(header, source));
        return reader;
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
}

ZipArchiveReader::ReadOutcome ZipArchiveReader::readEntries(const ZipArchiveSource &source, const Directory &directory,
                                                            const std::function<Consumer(const QString &)> &consumerFor)
{
    // Every record is checked; only the last of each path (the one whose
    // bytes a read keeps) is handed on.
    std::vector<Job> jobs;
    jobs.reserve(size_t(directory.m_records->size()));
    for (qsizetype i = 0; i < directory.m_records->size(); ++i) {
        const Directory::Record &record = directory.m_records->at(i);
        jobs.push_back({&record, directory.m_last.value(record.path) == i, 0, QByteArray(), std::nullopt, false, nullptr});
    }
    ReadOutcome outcome;
    try {
        const qsizetype failed = placeAndCheck(source, jobs, [&](Job &job) {
            Inflow flow(source, *job.header, job.dataOffset);
            const Consumer consumer = job.keep ? consumerFor(job.header->path) : Consumer();
            flow.drain([&](const uchar *bytes, qint64 n) {
                if (consumer && !job.stopped && !consumer(QByteArrayView(bytes, n)))
                    job.stopped = true;
            });
            if (consumer && !job.stopped && !consumer(QByteArrayView()))
                job.stopped = true;
        });
        if (failed < qsizetype(jobs.size())) {
            outcome.error = jobs[size_t(failed)].error;
            outcome.stopped = jobs[size_t(failed)].stopped;
        }
    } catch (const ReadFailure &failure) {
        outcome.error = failure.error;
    }
    return outcome;
}

std::optional<ZipArchiveError> ZipArchiveReader::check(const ZipArchiveSource &source)
{
    try {
        readAll(source, [](const QString &) { return false; });
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
    return std::nullopt;
}

ZipArchiveError ZipArchiveReader::tooLargeToRead(const QByteArray &tail)
{
    try {
        findEndOfCentralDirectory(ZipArchiveSource::memory(tail));
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
    return ZipArchiveError::unsupportedZip64();
}

QByteArray ZipArchiveReader::lookUp(const QByteArray &archive, const QString &path)
{
    if (path.endsWith(QLatin1Char('/')))
        return QByteArray();
    try {
        const ZipArchiveSource source = ZipArchiveSource::memory(archive);
        const EndOfCentralDirectory end = findEndOfCentralDirectory(source);
        std::optional<CentralHeader> found;
        qint64 offset = end.directoryOffset;
        for (int i = 0; i < end.entryCount; ++i) {
            CentralHeader header = parseCentralHeader(source, offset);
            offset = header.nextHeaderOffset;
            if (header.path == path)
                found = std::move(header);
        }
        return found ? extract(source, *found, localDataOffset(*found, source), true) : QByteArray();
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
        return readAll(ZipArchiveSource::memory(archive), keep);
    } catch (const ReadFailure &failure) {
        return failure.error;
    }
}
