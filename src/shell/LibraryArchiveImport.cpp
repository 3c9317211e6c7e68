#include "shell/LibraryArchiveImport.h"

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
    const auto failed = [import](const QString &description) { import->fail(description); };
    const auto merge = [import](Importer::ReadArchive read) { import->merge(std::move(read)); };
    // The manifest is read first, then the library's images are listed on
    // the main thread, then the images the library lacks are inflated into
    // the library's folder, and the merge on the main thread takes them.
    const auto opened = [import, failed, merge](Importer::OpenedArchive archive) {
        ModelContext &context = import->m_context;
        auto shared = std::make_shared<Importer::OpenedArchive>(std::move(archive));
        runThen<Importer::ReadArchive>(
            import,
            [shared, library = Importer::libraryImages(context), files = context.prepareFiles()] {
                return Importer::readImages(*shared, library, files);
            },
            merge, failed);
    };
    runThen<Importer::OpenedArchive>(
        import, [path] { return Importer::openArchive(path); }, opened, failed);
    return import;
}

void LibraryArchiveImport::merge(Importer::ReadArchive read)
{
    // Another import's merge ends first.
    auto waiting = std::make_shared<Importer::ReadArchive>(std::move(read));
    m_context.whenUnheld(this, [this, waiting] {
        m_merge = std::make_unique<Importer::Merge>(std::move(*waiting), m_context);
        continueMerge();
    });
}

void LibraryArchiveImport::continueMerge()
{
    if (!m_merge)
        return; // failed meanwhile
    // Well within the longest a turn of the event loop may take.
    constexpr std::chrono::milliseconds slice(12);
    bool ended = false;
    try {
        ended = m_merge->step(slice);
    } catch (...) {
        fail(exceptionDescription(std::current_exception()));
        return;
    }
    if (!ended) {
        // Entries read again on the files pool: the merge goes on once they are in.
        if (const std::optional<QFuture<void>> reading = m_merge->reading()) {
            auto *watcher = new QFutureWatcher<void>(this);
            connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher] {
                delete watcher;
                continueMerge();
            });
            watcher->setFuture(*reading);
            return;
        }
        QMetaObject::invokeMethod(this, &LibraryArchiveImport::continueMerge, Qt::QueuedConnection);
        return;
    }
    const Result<LibraryImportSummary, Importer::FileError> outcome = m_merge->outcome();
    m_merge.reset(); // the prepared files that the save didn't take go
    if (!outcome) {
        fail(errorDescription(outcome.error()));
        return;
    }
    emit imported(outcome.value().message());
    deleteLater();
}

void LibraryArchiveImport::fail(const QString &description)
{
    m_merge.reset();
    emit failed(description);
    deleteLater();
}
