#include "browser/ImportedImage.h"

#include "platform/LocalizedText.h"
#include "platform/PlatformImage.h"
#include "platform/RegularFile.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

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

ImportedImagesResult loadImportedImages(const QList<QUrl> &urls)
{
    QList<QUrl> sorted = urls;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QUrl &a, const QUrl &b) {
        return localizedStandardCompare(lastPathComponent(a), lastPathComponent(b)) < 0;
    });

    ImportedImagesResult result;
    for (const QUrl &url : sorted) {
        const QString fileName = lastPathComponent(url);
        if (!url.isLocalFile()) {
            result.images.clear();
            result.readError = FileReadError{FileReadError::Reason::readFailed, fileName, 0};
            return result;
        }
        RegularFileContents contents = RegularFile::readAll(url.toLocalFile(), fileName);
        if (contents.error) {
            result.images.clear();
            result.readError = contents.error;
            return result;
        }
        if (!PlatformImage::canCreateImage(contents.data, pathExtension(fileName).toUtf8())) {
            result.images.clear();
            result.importError = ImportError::unsupportedImage(fileName);
            return result;
        }
        result.images.append(ImportedImage{QUuid::createUuid(), url, removingPathExtension(fileName), std::move(contents.data)});
    }
    return result;
}

QFuture<ImportedImagesResult> loadImportedImagesInBackground(const QList<QUrl> &urls)
{
    return QtConcurrent::run([urls] { return loadImportedImages(urls); });
}
