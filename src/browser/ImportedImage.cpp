#include "browser/ImportedImage.h"

#include "browser/ThumbnailCache.h"
#include "platform/FileWriteError.h"
#include "platform/ImageDecoder.h"
#include "platform/LocalizedText.h"
#include "platform/PlatformImage.h"
#include "platform/RegularFile.h"
#include "platform/WorkerPools.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <numeric>
#include <vector>

namespace {

// The URL's last path component: "scan 4.tif" for file:///a/scan%204.tif.
QString lastPathComponent(const QUrl &url)
{
    QString path = url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Position of the dot before the extension, or -1 when the name has none
// (no dot, a leading dot only, or a dot at the end).
qsizetype extensionDot(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == fileName.size() - 1)
        return -1;
    return dot;
}

QString pathExtension(const QString &fileName)
{
    const qsizetype dot = extensionDot(fileName);
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

QString removingPathExtension(const QString &fileName)
{
    const qsizetype dot = extensionDot(fileName);
    return dot < 0 ? fileName : fileName.left(dot);
}

bool isImageType(const QMimeType &type)
{
    const QString image = QStringLiteral("image/");
    if (type.name().startsWith(image))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.cbegin(), ancestors.cend(), [&](const QString &name) { return name.startsWith(image); });
}

} // namespace

size_t qHash(const ImportedImage &image, size_t seed)
{
    return qHashMulti(seed, image.id, image.sourceURL, image.title, image.data, image.stagedFile);
}

QString ImportedImagesResult::errorDescription() const
{
    if (readError)
        return readError->localizedDescription();
    if (importError)
        return importError->errorDescription();
    if (stagingError)
        return stagingError->description();
    return {};
}

QList<QUrl> importableImageURLs(const QList<QUrl> &urls)
{
    const QMimeDatabase database;
    QList<QUrl> importable;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString extension = pathExtension(lastPathComponent(url));
        if (extension.isEmpty())
            continue;
        // The type named by the extension alone, not by the file's content.
        const QMimeType type = database.mimeTypeForFile(QStringLiteral("file.") + extension, QMimeDatabase::MatchExtension);
        if (!type.isValid() || type.isDefault())
            continue;
        if (isImageType(type))
            importable.append(url);
    }
    return importable;
}

QStringList importableImageNamePatterns()
{
    const QMimeDatabase database;
    QStringList patterns;
    for (const QMimeType &type : database.allMimeTypes()) {
        if (!isImageType(type))
            continue;
        for (const QString &glob : type.globPatterns()) {
            // Only plain extension patterns name a type by extension.
            if (glob.startsWith(QStringLiteral("*.")) && !glob.mid(2).contains(QLatin1Char('*'))
                && !patterns.contains(glob))
                patterns.append(glob);
        }
    }
    std::sort(patterns.begin(), patterns.end());
    return patterns;
}


namespace {

// One file's part of the result: its image or why it failed.
struct FileOutcome {
    std::optional<ImportedImage> image;
    std::optional<FileReadError> readError;
    std::optional<ImportError> importError;
    std::optional<ModelStoreError> stagingError;

    bool failed() const { return readError || importError || stagingError; }
};

FileOutcome refused(ImportError error)
{
    return {std::nullopt, std::nullopt, std::move(error), std::nullopt};
}

FileOutcome unreadable(FileReadError error)
{
    return {std::nullopt, std::move(error), std::nullopt, std::nullopt};
}

// A file whose bytes are no longer those checked.
FileOutcome changed(const QString &fileName)
{
    return unreadable(FileReadError{FileReadError::Reason::changed, fileName, 0});
}

// Where the bytes of checked files go: small ones into memory, up to a
// bound, the others into staged files of the library's folder.
class Staging {
public:
    explicit Staging(std::optional<PreparedFiles> files) : m_files(std::move(files)) {}

    // Whether a file of `size` bytes is to be copied into a staged file.
    bool staged(qint64 size) { return m_files && !m_memory.keepsInMemory(size); }
    PreparedFiles &files() { return *m_files; }
    bool hasFiles() const { return m_files.has_value(); }

private:
    std::optional<PreparedFiles> m_files;
    PreparedMemoryAllowance m_memory; // what the small files hold until the commit
};

// Pieces in which a file is copied into its staged file.
constexpr qint64 copyPieceBytes = qint64(1) * 1024 * 1024;

// Copies the opened file, from its start, into a new staged file; its name,
// or why it failed.
FileOutcome copiedIntoStagedFile(const OpenedRegularFile &opened, const QString &fileName, PreparedFiles &files,
                                 QString &name)
{
    const std::unique_ptr<PreparedFiles::Writer> writer = files.create();
    if (!writer)
        return {std::nullopt, std::nullopt, std::nullopt, files.error()};
    if (!opened.file->seek(0))
        return unreadable(FileReadError{FileReadError::Reason::readFailed, fileName, 0});
    QByteArray piece(copyPieceBytes, Qt::Uninitialized);
    qint64 copied = 0;
    for (;;) {
        const qint64 count = opened.file->read(piece.data(), piece.size());
        if (count < 0)
            return unreadable(FileReadError{FileReadError::Reason::readFailed, fileName, 0});
        if (count == 0)
            break;
        copied += count;
        // A file that grew after it was checked is refused as it was measured.
        if (copied > PlatformImage::maximumFileSize)
            return refused(ImportError::fileTooLarge(fileName));
        if (!writer->write(QByteArrayView(piece.constData(), count))) {
            files.setError(FileWriteError::reasonFor(errno));
            return {std::nullopt, std::nullopt, std::nullopt, files.error()};
        }
    }
    if (!writer->complete()) {
        files.setError(FileWriteError::reasonFor(errno));
        return {std::nullopt, std::nullopt, std::nullopt, files.error()};
    }
    name = writer->name();
    return {};
}

// The thumbnails that a load keeps, up to what the thumbnail cache holds.
class ThumbnailAllowance {
public:
    bool take(qint64 bytes)
    {
        if (m_used.fetch_add(bytes) + bytes <= ThumbnailCache::defaultMaxBytes)
            return true;
        m_used.fetch_sub(bytes);
        return false;
    }

private:
    std::atomic<qint64> m_used{0};
};

FileOutcome checkAndRead(const QUrl &url, const QString &fileName, ThumbnailAllowance &thumbnails, Staging &staging,
                         const ImportCheckDecoder &decode)
{
    // What the file is, and how large, before anything is read from it.
    const QString path = url.toLocalFile();
    const OpenedRegularFile opened = RegularFile::open(path, fileName);
    if (opened.error)
        return unreadable(*opened.error);
    if (opened.size > PlatformImage::maximumFileSize)
        return refused(ImportError::fileTooLarge(fileName));
    const ImageHeader header = ImageDecoder::readHeader(*opened.file);
    if (!header.isImage)
        return refused(ImportError::unsupportedImage(fileName));
    if (header.size.isValid() && qint64(header.size.width()) * header.size.height() > PlatformImage::maximumPixelCount)
        return refused(ImportError::tooManyPixels(fileName));

    // The header can be right and the data damaged or partly missing: only
    // a decode tells, which reads from the file what it needs. Through the
    // file opened and checked above, whatever the path names meanwhile.
    const QString checkedFile = QStringLiteral("/proc/self/fd/%1").arg(opened.file->handle());
    const EncodedImage checked = EncodedImage::fromFile(checkedFile);
    const QImage thumbnail = decode ? decode(checked, ThumbnailCache::defaultMaxPixelSize)
                                    : ImageDecoder::decode(checked, ThumbnailCache::defaultMaxPixelSize,
                                                           ImageDecoder::MissingData::refused);
    if (thumbnail.isNull())
        return refused(ImportError::unsupportedImage(fileName));

    ImportedImage image{QUuid::createUuid(), url, removingPathExtension(fileName), {}};
    if (staging.staged(opened.size)) {
        FileOutcome copy = copiedIntoStagedFile(opened, fileName, staging.files(), image.stagedFile);
        if (copy.failed())
            return copy;
    } else {
        RegularFileContents contents = RegularFile::readAll(opened, fileName, PlatformImage::maximumFileSize);
        if (contents.error)
            return unreadable(*contents.error);
        if (contents.data.size() > PlatformImage::maximumFileSize)
            return refused(ImportError::fileTooLarge(fileName));
        image.data = std::move(contents.data);
    }
    // The bytes copied are those checked only if nothing wrote to the file
    // or put another in its place meanwhile.
    if (!RegularFile::isUnchanged(opened, path))
        return changed(fileName);
    if (thumbnails.take(thumbnail.sizeInBytes()))
        image.thumbnail = thumbnail;
    return {std::move(image), std::nullopt, std::nullopt, std::nullopt};
}

FileOutcome loadFile(const QUrl &url, ThumbnailAllowance &thumbnails, Staging &staging, const ImportCheckDecoder &decode)
{
    const QString fileName = lastPathComponent(url);
    if (!url.isLocalFile())
        return unreadable(FileReadError{FileReadError::Reason::readFailed, fileName, 0});
    try {
        return checkAndRead(url, fileName, thumbnails, staging, decode);
    } catch (const std::bad_alloc &) {
        return refused(ImportError::notEnoughMemory(fileName));
    }
}

} // namespace

ImportedImagesResult loadImportedImages(const QList<QUrl> &urls, std::optional<PreparedFiles> staging,
                                        const ImportCheckDecoder &decode)
{
    QList<QUrl> sorted = urls;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QUrl &a, const QUrl &b) {
        return localizedStandardCompare(lastPathComponent(a), lastPathComponent(b)) < 0;
    });

    // Files are read several at a time; once a file has failed, no file
    // after it is opened any more, and the first failure in file-name order
    // is the one reported.
    std::vector<FileOutcome> outcomes(size_t(sorted.size()));
    std::atomic<qsizetype> firstFailure{sorted.size()};
    ThumbnailAllowance thumbnails;
    Staging bytes(std::move(staging));
    QList<qsizetype> indices(sorted.size());
    std::iota(indices.begin(), indices.end(), qsizetype(0));
    const auto load = [&](qsizetype index) {
        if (index > firstFailure.load())
            return;
        FileOutcome &outcome = outcomes[size_t(index)];
        outcome = loadFile(sorted.at(index), thumbnails, bytes, decode);
        if (outcome.failed()) {
            qsizetype known = firstFailure.load();
            while (index < known && !firstFailure.compare_exchange_weak(known, index)) {
            }
        }
    };
    if (sorted.size() == 1)
        load(0);
    else if (sorted.size() > 1)
        QtConcurrent::blockingMap(&WorkerPools::files(), indices, load);

    ImportedImagesResult result;
    const qsizetype failed = firstFailure.load();
    // A failure leaves no staged file: those written go with `bytes`.
    if (failed < sorted.size()) {
        result.readError = outcomes[size_t(failed)].readError;
        result.importError = outcomes[size_t(failed)].importError;
        result.stagingError = outcomes[size_t(failed)].stagingError;
        return result;
    }
    if (bytes.hasFiles()) {
        result.staged = bytes.files().offer();
        if (result.staged.error()) {
            result.stagingError = result.staged.error();
            return result;
        }
    }
    result.images.reserve(sorted.size());
    for (FileOutcome &outcome : outcomes)
        result.images.append(std::move(*outcome.image));
    return result;
}

QFuture<ImportedImagesResult> loadImportedImagesInBackground(const QList<QUrl> &urls,
                                                             std::optional<PreparedFiles> staging)
{
    // The reads it starts run on the same pool, the calling thread taking its share.
    return QtConcurrent::run(&WorkerPools::files(),
                             [urls, staging = std::move(staging)]() mutable { return loadImportedImages(urls, std::move(staging)); });
}
