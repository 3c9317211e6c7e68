#pragma once

#include "foundation/FileError.h"
#include "foundation/URLError.h"

#include <QByteArray>
#include <QFuture>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <optional>

// Bytes: reading them from URLs (files, resources and the web), a cache
// backed by remote copies, hexadecimal text, chunks and appending to files.

// A finished load: the bytes and the response that came with them. A web
// reply carries its HTTP status and headers; a file has no status (0) and
// no headers, only its address, type and length.
struct URLResponse {
    QByteArray data;
    int statusCode = 0;
    QUrl url;
    QString mimeType;
    qint64 expectedContentLength = -1; // -1 when the length was not given
    QList<QPair<QByteArray, QByteArray>> headers;

    // The value of the header `name` (compared without case); empty when absent.
    QByteArray header(const QByteArray &name) const;
};

// Sends `request` with `verb` and `body` from the calling thread, which must
// run an event loop. The future fails with URLError when no HTTP reply comes
// (a reply of any status is a result); `timeoutSeconds` is how long the
// transfer may stall.
QFuture<URLResponse> sendRequest(QNetworkRequest request, const QByteArray &verb, const QByteArray &body = {},
                                 int timeoutSeconds = 60);
// Loads a URL: a web address as a GET of `request`, a file (or a resource)
// read whole on the files pool. The future fails with URLError when the file
// cannot be read or no HTTP reply comes.
QFuture<URLResponse> getData(const QNetworkRequest &request);
QFuture<URLResponse> getData(const QUrl &url);

// The whole content of a file, resource ("qrc:" or ":/") or http(s) URL,
// read on the calling thread. An HTTP status outside 2xx is an error.
std::optional<QByteArray> contentsOfURL(const QUrl &url, QString *error = nullptr);

// The first non-empty content among `sources`, with `cache` tried first
// unless `refresh` is set. The result is written to a file `cache` (whole,
// replacing it atomically) when `refresh` is set or no cache exists yet.
// None when no candidate gives bytes; the cache is then left as it was.
std::optional<QByteArray> contentsCachedAt(const std::optional<QUrl> &cache, const QList<QUrl> &sources,
                                           bool refresh);
// The same, run on a worker thread.
QFuture<std::optional<QByteArray>> dataCachedAt(const std::optional<QUrl> &cache, const QList<QUrl> &sources,
                                                bool refresh);

// Every byte as two lower-case hexadecimal digits.
QString bytesString(const QByteArray &data);
// Pieces of `size` bytes, the last one shorter; a size below 1 gives the
// whole data as one piece.
QList<QByteArray> chunks(const QByteArray &data, qsizetype size);
QByteArray combineChunks(const QList<QByteArray> &chunks);
// Appends `data` at the end of the file, creating it when it does not
// exist. A file that exists but cannot be written throws FileError and is
// left untouched; so does a URL that names no file here (localFilePath()).
void append(const QByteArray &data, const QUrl &fileURL);
// The JSON object that `data` holds; none for anything else.
std::optional<QJsonObject> toJSON(const QByteArray &data);
