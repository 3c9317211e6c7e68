#pragma once

#include "archive/LibraryArchiveSource.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class AtlasImage;
class ModelContext;
class Series;

// The export of a library archive to a file that the user picks, as one
// main window, or the Library page of the Settings window, follows it: a
// check that the archive can be written, the save dialog, the writing, and
// the "Export Failed" alert. Each owner has its own; two exports run side
// by side without touching each other. Main thread only.
//
// The archive streams from where the library keeps its bytes straight to
// the file, so the work goes in this order: prepare() checks on a worker
// thread that every image's bytes can be reached and that the archive fits
// the zip format (reading only the lengths and the first bytes of each
// image); then the save dialog is asked for; then the chosen file is
// written on a worker thread. The checked archive waits as the document
// from the end of the check to the end of the writing.
//
// Exports of the library's objects (prepareLibrary(), prepareObjects())
// first count the images whose bytes the archive would hold: past the
// entry limit they fail with the zip writer's own error before any record
// is built. The records of a saved library are read from its file on the
// worker thread as well; a library in memory, or one with changes not
// saved, has them built from its objects on the main thread.
//
// States: idle; preparing (isPreparing); ready (a document, and
// isPresentingExporter: the save dialog is up); writing (a document, and
// isWriting); back to idle when the dialog is cancelled or the writing
// ends; the error shown (showsError, with errorTitle and errorMessage) when
// the check or the writing fails. A cancelled dialog is no failure. Work
// that finishes after this object is gone touches nothing.
class LibraryArchiveExport : public QObject {
    Q_OBJECT
public:
    explicit LibraryArchiveExport(QObject *parent = nullptr);
    ~LibraryArchiveExport() override;

    bool isPreparing() const { return m_isPreparing; }
    // A checked archive waits for its file: the save dialog is up, or the
    // file is being written.
    bool hasDocument() const { return m_document.has_value(); }
    bool isPresentingExporter() const { return m_isPresentingExporter; }
    bool isWriting() const { return m_isWriting; }
    // An export is under way (preparing, waiting for its file, or being
    // written): a new one would be ignored.
    bool isBusy() const { return m_isPreparing || m_document.has_value(); }
    // The file name the save dialog proposes, without extension; "Veloran
    // Library" until the first export.
    QString defaultFilename() const { return m_defaultFilename; }

    QString errorTitle() const { return m_errorTitle; }
    QString errorMessage() const { return m_errorMessage; }
    bool showsError() const { return m_showsError; }

    // Starts exporting `source`, proposing `filename` for its file. Ignored
    // while an export is under way: the request is dropped, nothing
    // changes. A failed check shows "Export Failed" with the error's text.
    void prepare(const LibraryArchiveSource &source, const QString &filename);
    // The same with the source built by `build` on the worker thread.
    using SourceBuilder = std::function<Result<LibraryArchiveSource, LibraryArchiveSource::ExportError>()>;
    void prepare(SourceBuilder build, const QString &filename);
    // Every image and every series of `context`, in fetch order.
    void prepareLibrary(ModelContext &context, const QString &filename);
    // The given images and series of `context`, in the given orders.
    void prepareObjects(ModelContext &context, const QList<AtlasImage *> &images, const QList<Series *> &series,
                        const QString &filename);

    // The most entries an archive of the library's objects may hold, its
    // manifest included: the zip writer's limit unless lowered (as tests
    // do, to reach it with a few images).
    qsizetype entryLimit() const { return m_entryLimit; }
    void setEntryLimit(qsizetype limit) { m_entryLimit = limit; }

    // The save dialog closed: with the file to write, the archive is
    // written there on a worker thread (a file that was there is replaced
    // only when the whole archive has been written); a failure shows
    // "Export Failed" with the error's text. Without one (cancelled) the
    // document is dropped and nothing is shown.
    void handleExportResult(const std::optional<QString> &path);

    // The alert's "OK".
    void dismissError();

signals:
    void isPreparingChanged(bool preparing);
    void documentChanged(bool hasDocument);
    // Show (true) or close the save dialog.
    void isPresentingExporterChanged(bool presenting);
    void isWritingChanged(bool writing);
    void defaultFilenameChanged(const QString &filename);
    // Show (true) or close the error alert.
    void showsErrorChanged(bool shows);

private:
    void setIsPreparing(bool preparing);
    void setDocument(const std::optional<LibraryArchiveSource> &document);
    void setIsPresentingExporter(bool presenting);
    void setIsWriting(bool writing);
    void showError(const QString &message);
    void prepareFromContext(ModelContext &context, const QList<AtlasImage *> &images, const QList<Series *> &series,
                            bool wholeLibrary, const QString &filename);

    qsizetype m_entryLimit = ZipArchiveWriter::maximumEntryCount;
    bool m_isPreparing = false;
    std::optional<LibraryArchiveSource> m_document;
    bool m_isPresentingExporter = false;
    bool m_isWriting = false;
    QString m_defaultFilename = QStringLiteral("Veloran Library");
    QString m_errorTitle;
    QString m_errorMessage;
    bool m_showsError = false;
};
