#include "shell/LibraryArchiveImport.h"

#include "archive/LibraryArchiveFile.h"
#include "archive/LibraryArchiveImporter.h"
#include "model/SaveOrRollBack.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace {

// The archive file's contents, or the alert's text. Only what the manifest
// names stays in memory: the file's buffer goes once it is checked, unless
// stored image files still share it.
using ReadArchive = Result<LibraryArchiveContents, QString>;

ReadArchive readArchive(const QString &path)
{
    auto bytes = LibraryArchiveFile::read(path);
    if (!bytes)
        return ReadArchive::failure(errorDescription(bytes.error()));
    auto contents = LibraryArchiveContents::fromArchiveData(bytes.value());
    bytes = QByteArray();
    if (!contents)
        return ReadArchive::failure(errorDescription(contents.error()));
    return std::move(contents).value();
}

} // namespace

LibraryArchiveImport::LibraryArchiveImport(ModelContext &context)
    : QObject(&context)
    , m_context(context)
{
}

LibraryArchiveImport *LibraryArchiveImport::start(const QString &path, ModelContext &context)
{
    auto *import = new LibraryArchiveImport(context);
    auto *watcher = new QFutureWatcher<ReadArchive>(import);
    connect(watcher, &QFutureWatcher<ReadArchive>::finished, import, [import, watcher] {
        // The watcher's copy of the contents goes with it, so that the merge
        // holds the only one.
        ReadArchive read = watcher->future().takeResult();
        delete watcher;
        if (!read) {
            emit import->failed(read.error());
            import->deleteLater();
            return;
        }
        // The files of the new images are written first, on a worker thread.
        auto contents = std::make_shared<LibraryArchiveContents>(std::move(read).value());
        ModelContext &context = import->m_context;
        changeOncePrepared(context, LibraryArchiveImporter::newImageBytes(*contents, context), import,
                           [import, contents](const std::optional<ModelStoreError> &error) {
                               if (error) {
                                   emit import->failed(error->description());
                               } else {
                                   const auto merged =
                                       LibraryArchiveImporter::importContents(std::move(*contents), import->m_context);
                                   if (merged)
                                       emit import->imported(merged.value().message());
                                   else
                                       emit import->failed(merged.error().description());
                               }
                               import->deleteLater();
                           });
    });
    watcher->setFuture(QtConcurrent::run(&WorkerPools::files(), readArchive, path));
    return import;
}
