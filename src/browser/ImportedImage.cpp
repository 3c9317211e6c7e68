#include "browser/ImportedImage.h"

#include "browser/ThumbnailCache.h"
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
    return qHashMulti(seed, image.id, image.sourceURL, image.title, image.data);
}

QString ImportedImagesResult::errorDescription() const
{
    if (readError)
        return readError->localizedDescription();
    if (importError)
        return importError->errorDescription();
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

    bool failed() const { return readError || importError; }
};

FileOutcome refused(ImportError error)
{
    return {std::nullopt, std::nullopt, std::move(error)};
}

FileOutcome unreadable(FileReadError error)
{
    return {std::nullopt, std::move(error), std::nullopt};
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

FileOutcome checkAndRead(const QUrl &url, const QString &fileName, ThumbnailAllowance &thumbnails)
{
    // What the file is, and how large, before anything is read from it.
    const OpenedRegularFile opened = RegularFile::open(url.toLocalFile(), fileName);
    if (opened.error)
        return unreadable(*opened.error);
    if (opened.size > PlatformImage::maximumFileSize)
        return refused(ImportError::fileTooLarge(fileName));
    const ImageHeader header = ImageDecoder::readHeader(*opened.file);
    if (!header.isImage)
        return refused(ImportError::unsupportedImage(fileName));
    if (header.size.isValid() && qint64(header.size.width()) * header.size.height() > PlatformImage::maximumPixelCount)
        return refused(ImportError::tooManyPixels(fileName));

    RegularFileContents contents = RegularFile::readAll(opened, fileName, PlatformImage::maximumFileSize);
    if (contents.error)
        return unreadable(*contents.error);
    if (contents.data.size() > PlatformImage::maximumFileSize)
        return refused(ImportError::fileTooLarge(fileName));
    // The header can be right and the data damaged: only a decode tells.
    const QImage thumbnail = ImageDecoder::decode(contents.data, ThumbnailCache::defaultMaxPixelSize);
    if (thumbnail.isNull())
        return refused(ImportError::unsupportedImage(fileName));
    ImportedImage image{QUuid::createUuid(), url, removingPathExtension(fileName), std::move(contents.data), {}};
    if (thumbnails.take(thumbnail.sizeInBytes()))
        image.thumbnail = thumbnail;
    return {std::move(image), std::nullopt, std::nullopt};
}

FileOutcome loadFile(const QUrl &url, ThumbnailAllowance &thumbnails)
{
    const QString fileName = lastPathComponent(url);
    if (!url.isLocalFile())
        return unreadable(FileReadError{FileReadError::Reason::readFailed, fileName, 0});
    try {
        return checkAndRead(url, fileName, thumbnails);
    } catch (const std::bad_alloc &) {
        return refused(ImportError::notEnoughMemory(fileName));
    }
}

} // namespace

ImportedImagesResult loadImportedImages(const QList<QUrl> &urls)
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
    QList<qsizetype> indices(sorted.size());
    std::iota(indices.begin(), indices.end(), qsizetype(0));
    const auto load = [&](qsizetype index) {
        if (index > firstFailure.load())
            return;
        FileOutcome &outcome = outcomes[size_t(index)];
        outcome = loadFile(sorted.at(index), thumbnails);
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
    if (failed < sorted.size()) {
        result.readError = outcomes[size_t(failed)].readError;
        result.importError = outcomes[size_t(failed)].importError;
        return result;
    }
    result.images.reserve(sorted.size());
    for (FileOutcome &outcome : outcomes)
        result.images.append(std::move(*outcome.image));
    return result;
}

QFuture<ImportedImagesResult> loadImportedImagesInBackground(const QList<QUrl> &urls)
{
    // The reads it starts run on the same pool, the calling thread taking its share.
    return QtConcurrent::run(&WorkerPools::files(), [urls] { return loadImportedImages(urls); });
}
