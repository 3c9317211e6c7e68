#pragma once

#include "foundation/FileError.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>

#include <optional>

class Bundle;

// File-system and URL helpers over local paths and file URLs. The helpers
// that can fail throw FileError; the others report failure as their
// comment says. Messages go to the "Filing" log channel.
//
// Only a file URL names a file here (localFilePath()): a web address, a
// mail link or a relative URL names none, whatever its path reads. The
// helpers that act on a file refuse such a URL with a FileError; those
// that look give their empty or false answer.

bool directoryExists(const QString &path);
bool directoryExists(const QUrl &url);
// Creates the folder and any missing parents; logs a failure, never throws.
void createDirectoryIfNeeded(const QString &path);
// Removes the parent folder of `url` when it is empty, then its parent, and
// so on up to the first folder that holds anything, hidden items included.
void recursivelyDeleteEmptyParentFolders(const QUrl &url);
// Paths relative to `folder` of every file (folder) below it, hidden ones included.
QStringList filePathsInSubFolders(const QUrl &folder);
QStringList folderPathsInSubFolders(const QUrl &folder);
// Every folder below `folder` that holds nothing at all.
QList<QUrl> emptySubFolders(const QUrl &folder);
// Moves the item to the user's trash, named "<name> (<stamp>).<extension>"
// there, with a record of where it came from; the trash's folders are made
// as needed, with the data folder above them. Nothing when the item is
// already gone. An item on another file system than the trash is copied
// there whole (a folder with all it holds, links as links, permissions and
// times kept), the copy written to disk, and then removed here; a failure
// on the way leaves the item whole where it was and no part of it in the
// trash.
void moveItemToTrash(const QUrl &url);
// Exchanges the contents of two files: atomically on one file system,
// otherwise with three moves that are undone when one fails. The same file
// twice is left alone.
void swap(const QUrl &fileAtURL, const QUrl &with);

// The URL's whole text in its encoded form, as log lines and stored URL
// texts show it: a blank in a path is "%20", a letter beyond ASCII its
// UTF-8 bytes ("%C3%A9"), and '%', '#' and '?' within a path "%25", "%23"
// and "%3F".
QString absoluteString(const QUrl &url);
QString lastPathComponentWithoutExtension(const QUrl &url);
// The path of the file that `url` names on this computer: a file URL with
// no host (or "localhost") and an absolute path; none for any other URL.
std::optional<QString> localFilePath(const QUrl &url);
// The same path, for a helper that acts on the file: a URL that names no
// file here is refused with a FileError.
QString requireLocalPath(const QUrl &url);
// Whether the item itself (not what a link points to) is a folder.
bool isDirectory(const QUrl &url);
// The visible folders directly inside `url`, in listing order.
QList<QUrl> subFolders(const QUrl &url);
// The parts of `url` (QUrl reads and sets each of them): resolved against
// `baseURL` when one is given, so that a relative URL gets the base's
// scheme, host and folder. None when either is not a valid URL.
std::optional<QUrl> components(const QUrl &url, const QUrl &baseURL = QUrl());
// A URL written into the program; stops with "Invalid static URL string: "
// when the literal is not a URL, which is a programming error.
QUrl staticURL(const char *literal);
// The first of "base.ext", "base (2).ext", "base (label 3).ext"... that does
// not exist in `folder`; an empty URL when `folder` names no folder here.
QUrl appendingUniqueFileName(const QUrl &folder, const QString &baseName, const QString &extension,
                             const QString &label = QString());
// Beside `url` (in `subFolder` when given): "<name> <yyyyMMddHHmmss>.<ext>",
// a URL of the same kind as `url`.
QUrl datedFileURL(const QUrl &url, const std::optional<QString> &subFolder = std::nullopt);
// Copies the file to its dated name, creating the sub-folder when needed.
void backup(const QUrl &url, const std::optional<QString> &toSubDirectory = std::nullopt);
// The JSON array or object at `url`, read as contentsOfURL() reads it (a
// file, a resource, or a web address whose reply is 2xx); none (and a log
// line) when it cannot be read.
std::optional<QJsonDocument> json(const QUrl &url);
std::optional<QUrl> documentsFileURL(const QString &name, const std::optional<QString> &extension = std::nullopt);

// The run environment: the variables the platform's tools set.
bool isRunningInPreview();
bool isTesting();

// The last part of the zone's name, readable: "Buenos Aires", "UTC".
std::optional<QString> city(const QTimeZone &zone);

// The numeric host texts of socket address records (sockaddr_in or
// sockaddr_in6 bytes); a record that is not a whole address of its family
// gives an empty text.
QStringList ipAddresses(const QList<QByteArray> &addressRecords);

// A mail link to support whose subject names the application and its version.
std::optional<QUrl> supportEmailURL(const QString &address);
std::optional<QUrl> supportEmailURL();
// The same for the application that `bundle` describes.
std::optional<QUrl> supportEmailURL(const QString &address, const Bundle &bundle);
