#include "shell/LibraryArchiveImport.h"

#include "archive/LibraryArchiveImporter.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <memory>
#include <new>

namespace {

using Importer = LibraryArchiveImporter;

// The alert's text for a failure that no error value describes.
QString exceptionDescription(const std::exception_ptr &exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const std::bad_alloc &) {
        return QStringLiteral("There isn't enough memory to import the archive.");
    } catch (const std::exception &error) {
        return QStringLiteral("The archive could not be imported (%1).").arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return QStringLiteral("The archive could not be imported.");
    }
}

// Runs `work` on the files pool and hands its result, or the alert's text
// for its failure, to `then` on the main thread, in `owner`'s context. No
// exception leaves the work or the handler: any ends as the alert's text.
template <typename T, typename Work, typename Then>
void runThen(QObject *owner, Work work, Then then, std::function<void(const QString &)> failed)
{
    using Outcome = Result<T, QString>;
    auto *watcher = new QFutureWatcher<Outcome>(owner);
    QObject::connect(watcher, &QFutureWatcher<Outcome>::finished, owner, [watcher, then, failed] {
        // The watcher's copy of the result goes with it.
        Outcome outcome = watcher->future().takeResult();
        delete watcher;
        if (!outcome) {
            failed(outcome.error());
            return;
        }
        try {
            then(std::move(outcome).value());
        } catch (...) {
            failed(exceptionDescription(std::current_exception()));
        }
    });
    watcher->setFuture(QtConcurrent::run(&WorkerPools::files(), [work]() -> Outcome {
        try {
            auto result = work();
            if (!result)
                return Outcome::failure(errorDescription(result.error()));
            return std::move(result).value();
        } catch (...) {
            return Outcome::failure(exceptionDescription(std::current_exception()));
        }
    }));
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
    const auto failed = [import](const QString &description) {
        emit import->failed(description);
        import->deleteLater();
    };
    const auto merge = [import, failed](Importer::ReadArchive read) {
        ModelContext &context = import->m_context;
        Result<LibraryImportSummary, ModelStoreError> merged = ModelStoreError(ModelStoreError::Code::saveFailed, {});
        try {
            merged = Importer::importArchive(std::move(read), context);
        } catch (...) {
            // Nothing half-merged stays behind.
            context.rollback();
            throw;
        }
        if (!merged) {
            failed(merged.error().description());
            return;
        }
        emit import->imported(merged.value().message());
        import->deleteLater();
    };
    // The manifest is read first, then the library's part is looked up on
    // the main thread, then the images the library lacks are inflated into
    // the library's folder, and the merge on the main thread takes them.
    const auto opened = [import, failed, merge](Importer::OpenedArchive archive) {
        ModelContext &context = import->m_context;
        const QSet<QUuid> held = Importer::heldImages(archive.manifest, context);
        auto shared = std::make_shared<Importer::OpenedArchive>(std::move(archive));
        runThen<Importer::ReadArchive>(
            import,
            [shared, held, files = context.prepareFiles()] { return Importer::readImages(*shared, held, files); },
            merge, failed);
    };
    runThen<Importer::OpenedArchive>(
        import, [path] { return Importer::openArchive(path); }, opened, failed);
    return import;
}
