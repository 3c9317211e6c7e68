#include "shell/LibraryArchiveExport.h"

#include "archive/LibraryArchiveFile.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <type_traits>

namespace {

using Failure = std::optional<QString>; // the alert's text

// Whether the archive of `source` can be written: the lengths and the
// first bytes of every image, the zip format's limits, the manifest.
Failure check(const LibraryArchiveSource &source)
{
    StoredImageDataReader reader;
    const auto plan = source.plan(reader);
    return plan ? Failure() : Failure(errorDescription(plan.error()));
}

// A source built and checked, or why not.
struct Checked {
    std::optional<LibraryArchiveSource> source;
    Failure failure;
};

Checked buildAndCheck(const LibraryArchiveExport::SourceBuilder &build)
{
    auto built = build();
    if (!built)
        return {std::nullopt, errorDescription(built.error())};
    Checked checked{std::move(built).value(), std::nullopt};
    checked.failure = check(*checked.source);
    if (checked.failure)
        checked.source.reset();
    return checked;
}

// How many files the archive of `images` would hold: the images whose
// bytes are not empty. Bytes the store holds are measured only when the
// images with any bytes at all are more than `limit`.
qsizetype fileCount(const QList<AtlasImage *> &images, qsizetype limit)
{
    const qsizetype withBytes =
        std::count_if(images.cbegin(), images.cend(), [](const AtlasImage *image) { return !image->isImageDataMissing(); });
    if (withBytes <= limit)
        return withBytes;
    StoredImageDataReader reader;
    qsizetype files = 0;
    for (const std::optional<StoredImageData> &stored : AtlasImage::storedImageData(images)) {
        // Bytes that can't be measured fail the export later all the same.
        if (stored && reader.size(*stored).value_or(1) > 0)
            ++files;
    }
    return files;
}

// Every object of the context is saved, in a file that a worker can read.
bool readsFromFile(const ModelContext &context)
{
    return !context.storePath().isEmpty() && !context.hasChanges();
}

Failure write(const LibraryArchiveSource &source, const QString &path)
{
    const auto written = LibraryArchiveFile::write(source, path);
    return written ? Failure() : Failure(errorDescription(written.error()));
}

// Runs `work` on the files pool and hands its result to `done` on the
// main thread, unless `owner` is gone by then.
template<class Work, class Done>
void runOffMainThread(QObject *owner, Work work, Done done)
{
    using Outcome = std::invoke_result_t<Work>;
    auto *watcher = new QFutureWatcher<Outcome>(owner);
    QObject::connect(watcher, &QFutureWatcher<Outcome>::finished, owner, [watcher, done] {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(&WorkerPools::files(), std::move(work)));
}

} // namespace

LibraryArchiveExport::LibraryArchiveExport(QObject *parent)
    : QObject(parent)
{
}

LibraryArchiveExport::~LibraryArchiveExport() = default;

void LibraryArchiveExport::prepare(const LibraryArchiveSource &source, const QString &filename)
{
    prepare([source]() -> Result<LibraryArchiveSource, LibraryArchiveSource::ExportError> { return source; },
            filename);
}

void LibraryArchiveExport::prepare(SourceBuilder build, const QString &filename)
{
    // Also while a checked archive waits for its dialog or its writing:
    // replacing it would leave the dialog that is up saving other contents
    // than the user asked for.
    if (isBusy())
        return;
    if (m_defaultFilename != filename) {
        m_defaultFilename = filename;
        emit defaultFilenameChanged(filename);
    }
    setIsPreparing(true);
    runOffMainThread(
        this, [build = std::move(build)] { return buildAndCheck(build); },
        [this](const Checked &checked) {
            if (checked.failure) {
                showError(*checked.failure);
            } else {
                setDocument(checked.source);
                setIsPresentingExporter(true);
            }
            setIsPreparing(false);
        });
}

void LibraryArchiveExport::prepareLibrary(ModelContext &context, const QString &filename)
{
    if (isBusy())
        return;
    // Read from the file, the objects are neither fetched nor counted here.
    if (readsFromFile(context))
        prepareFromContext(context, {}, {}, true, filename);
    else
        prepareFromContext(context, context.fetch<AtlasImage>(), context.fetch<Series>(), true, filename);
}

void LibraryArchiveExport::prepareObjects(ModelContext &context, const QList<AtlasImage *> &images,
                                          const QList<Series *> &series, const QString &filename)
{
    prepareFromContext(context, images, series, false, filename);
}

void LibraryArchiveExport::prepareFromContext(ModelContext &context, const QList<AtlasImage *> &images,
                                              const QList<Series *> &series, bool wholeLibrary,
                                              const QString &filename)
{
    if (isBusy())
        return;
    using Built = Result<LibraryArchiveSource, LibraryArchiveSource::ExportError>;
    const qsizetype limit = m_entryLimit;
    if (readsFromFile(context)) {
        // Every object is saved: its rows say all that the archive takes.
        LibraryArchiveSource::StoreSelection selection;
        selection.storePath = context.storePath();
        selection.externalFolder = context.externalStorage().folder();
        selection.wholeLibrary = wholeLibrary;
        if (!wholeLibrary) {
            selection.imageKeys.reserve(images.size());
            for (const AtlasImage *image : images)
                selection.imageKeys.append(image->storeKey());
            for (const Series *one : series)
                selection.seriesKeys.append(one->storeKey());
        }
        prepare([selection, limit]() -> Built { return LibraryArchiveSource::fromStore(selection, limit); },
                filename);
        return;
    }
    if (fileCount(images, limit) + 1 > limit) { // with the manifest
        prepare([]() -> Built { return ZipArchiveError::archiveTooLarge(); }, filename);
        return;
    }
    prepare(LibraryArchiveSource::fromLibrary(images, series), filename);
}

void LibraryArchiveExport::handleExportResult(const std::optional<QString> &path)
{
    setIsPresentingExporter(false);
    if (!m_document || m_isWriting)
        return;
    if (!path) {
        setDocument(std::nullopt);
        return;
    }
    setIsWriting(true);
    runOffMainThread(
        this, [source = *m_document, path = *path] { return write(source, path); },
        [this](const Failure &failure) {
            setDocument(std::nullopt);
            setIsWriting(false);
            if (failure)
                showError(*failure);
        });
}

void LibraryArchiveExport::dismissError()
{
    if (!m_showsError)
        return;
    m_showsError = false;
    emit showsErrorChanged(false);
}

void LibraryArchiveExport::showError(const QString &message)
{
    m_errorTitle = QStringLiteral("Export Failed");
    m_errorMessage = message;
    // A new error replaces one still shown.
    m_showsError = true;
    emit showsErrorChanged(true);
}

void LibraryArchiveExport::setIsPreparing(bool preparing)
{
    if (m_isPreparing == preparing)
        return;
    m_isPreparing = preparing;
    emit isPreparingChanged(preparing);
}

void LibraryArchiveExport::setDocument(const std::optional<LibraryArchiveSource> &document)
{
    m_document = document;
    emit documentChanged(m_document.has_value());
}

void LibraryArchiveExport::setIsPresentingExporter(bool presenting)
{
    if (m_isPresentingExporter == presenting)
        return;
    m_isPresentingExporter = presenting;
    emit isPresentingExporterChanged(presenting);
}

void LibraryArchiveExport::setIsWriting(bool writing)
{
    if (m_isWriting == writing)
        return;
    m_isWriting = writing;
    emit isWritingChanged(writing);
}
