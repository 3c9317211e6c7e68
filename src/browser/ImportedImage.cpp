#include "browser/ImportedImage.h"

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

FileOutcome loadFile(const QUrl &url)
{
    const QString fileName = lastPathComponent(url);
    if (!url.isLocalFile())
        return {std::nullopt, FileReadError{FileReadError::Reason::readFailed, fileName, 0}, std::nullopt};
    RegularFileContents contents = RegularFile::readAll(url.toLocalFile(), fileName);
    if (contents.error)
        return {std::nullopt, contents.error, std::nullopt};
    if (!PlatformImage::canCreateImage(contents.data, pathExtension(fileName).toUtf8()))
        return {std::nullopt, std::nullopt, ImportError::unsupportedImage(fileName)};
    return {ImportedImage{QUuid::createUuid(), url, removingPathExtension(fileName), std::move(contents.data)},
            std::nullopt, std::nullopt};
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
    QList<qsizetype> indices(sorted.size());
    std::iota(indices.begin(), indices.end(), qsizetype(0));
    const auto load = [&](qsizetype index) {
        if (index > firstFailure.load())
            return;
        FileOutcome &outcome = outcomes[size_t(index)];
        outcome = loadFile(sorted.at(index));
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
