#pragma once

#include "archive/LibraryArchiveSource.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A library archive of chosen entries as it is shared: written on request as
// a file of its own, or given as bytes. Made on the main thread from the
// entries without reading any image byte; the file and the bytes are built
// on whichever thread asks for them, afresh for each request.
//
// Shared files live in the user's private cache: a folder "SharedArchives"
// (mode 0700, the user's own, never a symbolic link) holds one folder per
// share, named by a new identifier, with the archive in it (mode 0600).
// Before each share, what that folder holds that was last modified more than
// an hour earlier is removed.
class LibraryArchiveTransfer {
public:
    using ShareError = LibraryArchiveSource::ExportError;

    LibraryArchiveTransfer(LibraryArchiveSource contents, QString name);

    const LibraryArchiveSource &contents() const { return m_contents; }
    // The base file name, without extension.
    const QString &name() const { return m_name; }

    // The file name offered for the archive: `name` with control characters
    // dropped and "/" made "-", trimmed ("Veloran Library" when nothing is
    // left), cut at a character boundary so that with ".veloran" it fits the
    // file system's 255 bytes.
    QString archiveFilename() const { return archiveFilename(m_name); }
    static QString archiveFilename(const QString &name);

    // "SharedArchives" in the user's cache folder.
    static QString sharedArchivesFolder();

    // Writes the archive into a new folder of its own under `folder`, after
    // the stale items there have gone, and gives the file's path. The
    // archive is checked before anything is made (image bytes that can't be
    // read, the zip format's limits), and a write that fails takes its
    // folder with it. A `folder` that is a symbolic link, not a folder, or
    // another user's is refused untouched.
    Result<QString, ShareError> writeSharedArchive(const QString &folder = sharedArchivesFolder()) const;

    // Removes the items of `folder` (not what they hold) last modified more
    // than 3,600 seconds before `now`; an item exactly that old stays, and
    // one whose date can't be read stays. Symbolic links go themselves, never
    // what they point to. Does nothing to a folder that
    // writeSharedArchive() would refuse; never fails.
    static void removeStaleSharedArchives(const QString &folder,
                                          const QDateTime &now = QDateTime::currentDateTimeUtc());

    // The archive's bytes, in memory.
    Result<QByteArray, ShareError> exportData() const;

private:
    LibraryArchiveSource m_contents;
    QString m_name;
};
