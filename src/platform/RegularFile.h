#pragma once

#include "platform/FileReadError.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

// The whole content of a file, or why it could not be read.
struct RegularFileContents {
    QByteArray data;
    std::optional<FileReadError> error;
};

// Which file a path or a descriptor stands for, and how it stood when
// looked at: two looks give equal identities only when it is the same file
// and nothing wrote to it, cut it or grew it in between. Beside the time of
// the last write, which any program can set back, the time of the last
// change holds: the system sets it on every write, on setting the times
// and on a change of mode or owner, and no program can set it back.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modified = 0;      // nanoseconds since the epoch
    qint64 statusChanged = 0; // nanoseconds since the epoch
    quint64 links = 0;        // the names it has

    // The identity of the open descriptor `fd`, or of what `path` names
    // (following links); none when it can't be looked at.
    static std::optional<FileIdentity> ofDescriptor(int fd);
    static std::optional<FileIdentity> ofPath(const QString &path);

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;

    // Whether the file, looked at through a descriptor held since
    // `earlier`, still holds the bytes it held then: the same file, as
    // large, written at the same time and changed at the same time. A name
    // given to it or taken from it (the file renamed over or removed) moves
    // the time of change alone; then the rest has to be as it was.
    bool holdsTheSameBytesAs(const FileIdentity &earlier) const;
};

// A regular file opened for reading and not yet read from, or why it could
// not be opened.
struct OpenedRegularFile {
    std::unique_ptr<QFile> file; // open read-only and unbuffered, at its start; owns the descriptor
    qint64 size = 0;             // as measured once opened
    std::optional<FileReadError> error;
    FileIdentity identity;       // as it was once opened
};

// Reads regular files only. A folder, named pipe, socket or device is refused
// before anything is read from it, so a pipe named like a picture cannot
// block the caller waiting for a writer that never comes.
class RegularFile {
public:
    // Reads the whole file at `path`; errors name the file as `displayName`.
    static RegularFileContents readAll(const QString &path, const QString &displayName);

    // Opens the file at `path` for reading, with the same refusals, reading
    // nothing: the caller can look at its size and its first bytes first.
    static OpenedRegularFile open(const QString &path, const QString &displayName);

    // Reads `opened` from its start to its end, but no more than
    // `maximumSize` + 1 bytes (no bound when negative): more than
    // `maximumSize` bytes read means the file is larger, also when it grew
    // after it was measured.
    static RegularFileContents readAll(const OpenedRegularFile &opened, const QString &displayName,
                                       qint64 maximumSize = -1);

    // Whether `opened` is as it was when opened and is still the file
    // `path` names (FileIdentity): false once it was written (also when
    // its time of writing was set back), cut short, grown, replaced by
    // another file, or had its mode or owner changed.
    static bool isUnchanged(const OpenedRegularFile &opened, const QString &path);
};
