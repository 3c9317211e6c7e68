#pragma once

#include "archive/LibraryArchiveImporter.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ModelContext;

// One import of a library archive file into the library, never held in
// memory whole: its manifest is read and checked on a worker thread, the
// library's part of it is looked up on the main thread, every entry is
// checked and those of the images the library lacks inflated into the
// library's folder on a worker thread, then the archive is merged into the
// library on the main thread, in slices between which the event loop turns,
// and saved once (LibraryArchiveImporter::Merge), and the outcome is
// announced. The merge takes the library as it is then: the entries of
// images it has lost meanwhile are read again on a worker thread first.
// The merge holds the context (ModelContext::beginHeldChange), that read
// included: it waits for another import's merge to end, and other changes
// wait for its own. Every failure, running out of memory included,
// ends in `failed`. It runs on its own, whoever started it: closing the page that
// started it neither stops the merge nor its announcement. It lives as a
// child of the context, so it ends with the library at the latest, and
// deletes itself once it has announced.
class LibraryArchiveImport : public QObject {
    Q_OBJECT
public:
    // Starts importing the archive file at `path` into `context`. Main
    // thread.
    static LibraryArchiveImport *start(const QString &path, ModelContext &context);

signals:
    // The archive was merged and saved; `summary` is the text of the
    // "Library Imported" alert.
    void imported(const QString &summary);
    // The file could not be read, was no readable archive, or the save
    // failed; the library is as it was. `description` is the text of the
    // "Import Failed" alert.
    void failed(const QString &description);

private:
    explicit LibraryArchiveImport(ModelContext &context);

    void merge(LibraryArchiveImporter::ReadArchive read);
    void continueMerge();
    void fail(const QString &description);

    ModelContext &m_context;
    std::unique_ptr<LibraryArchiveImporter::Merge> m_merge;
};
