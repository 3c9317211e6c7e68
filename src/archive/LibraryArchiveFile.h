#pragma once

#include "archive/LibraryArchiveSource.h"
#include "archive/ZipArchiveError.h"
#include "platform/FileReadError.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QString>

#include <variant>

// Library archive files on disk.
class LibraryArchiveFile {
public:
    // The whole content of the archive file at `path` in one buffer, read in
    // large pieces on several threads, for handing to
    // LibraryArchiveContents::fromArchiveData(). Only regular files are
    // read; one larger than any zip archive without Zip64 records is
    // refused from its last bytes before the rest is read.
    using ReadError = std::variant<FileReadError, ZipArchiveError>;
    static Result<QByteArray, ReadError> read(const QString &path);

    // Writes the archive of `source` to the file at `path` in bounded
    // memory: planned first (see LibraryArchiveSource::plan()), then
    // streamed, reading one image's bytes at a time. The file is replaced
    // atomically: on any failure, also of the final commit, the file that
    // was there is left as it was and nothing new stays behind. Gives the
    // archive's size. Runs on the calling thread.
    static Result<qint64, LibraryArchiveSource::ExportError> write(const LibraryArchiveSource &source,
                                                                   const QString &path);
    // The same with `source` planned already through `reader`.
    static Result<qint64, LibraryArchiveSource::ExportError> write(const LibraryArchiveSource &source,
                                                                   LibraryArchiveSource::Plan &plan,
                                                                   StoredImageDataReader &reader, const QString &path);

private:
    LibraryArchiveFile() = delete;
};
