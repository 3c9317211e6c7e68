#include "foundation/DataHelpers.h"

#include "foundation/FileError.h"
#include "foundation/FileSystem.h"

#include "platform/RegularFile.h"
#include "platform/WorkerPools.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPromise>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

bool isWebURL(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

// The path of a resource URL ("qrc:/a" or ":/a"), when it is one.
std::optional<QString> resourcePath(const QUrl &url)
{
    if (url.scheme() == u"qrc")
        return QLatin1Char(':') + url.path();
    if (url.scheme().isEmpty() && url.path().startsWith(QLatin1String(":/")))
        return url.path();
    return std::nullopt;
}

// Waits on the calling thread, serving its events, until `future` is done.
template <typename T>
void waitServingEvents(const QFuture<T> &future)
{
    if (future.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

std::optional<QByteArray> fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

} // namespace

namespace {

// Sends `request` with `manager`, which the caller keeps until the future is
// done, unless `releaseManager` hands it over to be deleted then.
QFuture<URLResponse> transfer(QNetworkAccessManager *manager, bool releaseManager, QNetworkRequest request,
                              const QByteArray &verb, const QByteArray &body, int timeoutSeconds)
{
    auto promise = std::make_shared<QPromise<URLResponse>>();
    QFuture<URLResponse> future = promise->future();
    promise->start();
    if (!isWebURL(request.url())) {
        promise->setException(std::make_exception_ptr(
            URLError{URLError::Code::BadURL, 0, QStringLiteral("Not a web address: ") + request.url().toString()}));
        promise->finish();
        if (releaseManager)
            manager->deleteLater();
        return future;
    }
    request.setTransferTimeout(timeoutSeconds * 1000);
    QNetworkReply *reply = verb == "GET" ? manager->get(request) : manager->sendCustomRequest(request, verb, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, [promise, reply, manager, releaseManager] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            URLResponse response;
            response.data = reply->readAll();
            response.statusCode = status.toInt();
            response.url = reply->url();
            response.headers = reply->rawHeaderPairs();
            response.mimeType = QString::fromLatin1(response.header("Content-Type").split(';').first().trimmed());
            bool known = false;
            const qint64 length = response.header("Content-Length").toLongLong(&known);
            response.expectedContentLength = known ? length : -1;
            promise->addResult(std::move(response));
        } else {
            // A stalled transfer is aborted by its time-out; nothing else cancels it.
            const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError
                || reply->error() == QNetworkReply::TimeoutError;
            promise->setException(std::make_exception_ptr(
                URLError{timedOut ? URLError::Code::TimedOut : URLError::Code::CannotLoad, 0, reply->errorString()}));
        }
        promise->finish();
        reply->deleteLater();
        if (releaseManager)
            manager->deleteLater();
    });
    return future;
}

} // namespace

QFuture<URLResponse> sendRequest(QNetworkRequest request, const QByteArray &verb, const QByteArray &body,
                                 int timeoutSeconds)
{
    return transfer(new QNetworkAccessManager, true, std::move(request), verb, body, timeoutSeconds);
}

QByteArray URLResponse::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QFuture<URLResponse> getData(const QNetworkRequest &request)
{
    const QUrl url = request.url();
    if (!url.isLocalFile() && !resourcePath(url))
        return sendRequest(request, QByteArrayLiteral("GET"));
    // A file answers with its bytes, its type and its length, and no status.
    return QtConcurrent::run(&WorkerPools::files(), [url](QPromise<URLResponse> &promise) {
        QString error;
        std::optional<QByteArray> data = contentsOfURL(url, &error);
        if (!data) {
            promise.setException(std::make_exception_ptr(URLError{URLError::Code::CannotLoad, 0, error}));
            return;
        }
        URLResponse response;
        response.url = url;
        response.mimeType = QMimeDatabase().mimeTypeForFileNameAndData(url.fileName(), *data).name();
        response.expectedContentLength = data->size();
        response.data = std::move(*data);
        promise.addResult(std::move(response));
    });
}

QFuture<URLResponse> getData(const QUrl &url)
{
    return getData(QNetworkRequest(url));
}

std::optional<QByteArray> contentsOfURL(const QUrl &url, QString *error)
{
    // A file here; a file URL of another host names none.
    if (const std::optional<QString> path = localFilePath(url)) {
        const RegularFileContents contents = RegularFile::readAll(*path, url.fileName());
        if (contents.error)
            return fail(error, contents.error->localizedDescription());
        return contents.data;
    }
    if (const auto path = resourcePath(url)) {
        QFile file(*path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(error, file.errorString());
        return file.readAll();
    }
    if (!isWebURL(url))
        return fail(error, QStringLiteral("Cannot read \u201C%1\u201D.").arg(url.toString()));
    // The manager lives here, so nothing is left for an event loop that may not run again.
    QNetworkAccessManager manager;
    const QFuture<URLResponse> future = transfer(&manager, false, QNetworkRequest(url), QByteArrayLiteral("GET"), {}, 60);
    waitServingEvents(future);
    try {
        const URLResponse response = future.result();
        if (response.statusCode < 200 || response.statusCode > 299)
            return fail(error, URLError::badServerResponse(response.statusCode).description);
        return response.data;
    } catch (const URLError &failure) {
        return fail(error, failure.description);
    }
}

std::optional<QByteArray> contentsCachedAt(const std::optional<QUrl> &cache, const QList<QUrl> &sources, bool refresh)
{
    QList<QUrl> candidates = sources;
    if (!refresh && cache)
        candidates.prepend(*cache);
    std::optional<QByteArray> found;
    for (const QUrl &candidate : candidates) {
        if (candidate.isLocalFile() && !QFileInfo::exists(localFilePath(candidate).value_or(QString())))
            continue;
        const auto data = contentsOfURL(candidate);
        if (data && !data->isEmpty()) {
            found = data;
            break;
        }
    }
    if (!found)
        return std::nullopt;
    const std::optional<QString> cachePath = cache ? localFilePath(*cache) : std::nullopt;
    if (cachePath && (refresh || !QFileInfo::exists(*cachePath))) {
        QSaveFile file(*cachePath);
        if (file.open(QIODevice::WriteOnly) && file.write(*found) == found->size())
            file.commit();
    }
    return found;
}

QFuture<std::optional<QByteArray>> dataCachedAt(const std::optional<QUrl> &cache, const QList<QUrl> &sources,
                                                bool refresh)
{
    return QtConcurrent::run(&WorkerPools::files(), [cache, sources, refresh] { return contentsCachedAt(cache, sources, refresh); });
}

QString bytesString(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex());
}

QList<QByteArray> chunks(const QByteArray &data, qsizetype size)
{
    if (data.isEmpty())
        return {};
    if (size < 1)
        return {data};
    QList<QByteArray> pieces;
    pieces.reserve((data.size() + size - 1) / size);
    for (qsizetype start = 0; start < data.size(); start += size)
        pieces.append(data.mid(start, size));
    return pieces;
}

QByteArray combineChunks(const QList<QByteArray> &chunks)
{
    QByteArray data;
    for (const QByteArray &chunk : chunks)
        data += chunk;
    return data;
}

void append(const QByteArray &data, const QUrl &fileURL)
{
    const QString path = requireLocalPath(fileURL);
    const QByteArray nativePath = QFile::encodeName(path);
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            throw FileError::fromSystemError(path, QStringLiteral("Cannot append to"), errno);
        // A new file is written whole or not at all.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
            throw FileError{path, QStringLiteral("Cannot write \u201C%1\u201D: %2").arg(path, file.errorString())};
        return;
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            throw FileError::fromSystemError(path, QStringLiteral("Cannot append to"), error);
        }
        written += n;
    }
    ::close(fd);
}

std::optional<QJsonObject> toJSON(const QByteArray &data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}
