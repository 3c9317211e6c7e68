#include "shell/LibraryArchiveExport.h"

#include "archive/LibraryArchiveFile.h"
#include "platform/WorkerPools.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

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
    auto *watcher = new QFutureWatcher<Failure>(owner);
    QObject::connect(watcher, &QFutureWatcher<Failure>::finished, owner, [watcher, done] {
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
        this, [source] { return check(source); },
        [this, source](const Failure &failure) {
            if (failure) {
                showError(*failure);
            } else {
                setDocument(source);
                setIsPresentingExporter(true);
            }
            setIsPreparing(false);
        });
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
