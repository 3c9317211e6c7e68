#pragma once

#include "shell/LibraryArchiveExport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class LibraryArchiveImport;
class ModelContext;

// The state of the Library page of the Settings window, without any
// widget: the export of the whole library through the page's own
// LibraryArchiveExport, the open dialog of an import, and the "Library
// Imported" and "Import Failed" alerts of the imports that the page
// starts. Main thread only.
//
// Any number of imports may run at once; each merges whole on the main
// thread. An import goes on when the page closes (see
// LibraryArchiveImport); its outcome then no longer reaches this object.
class LibrarySettingsModel : public QObject {
    Q_OBJECT
public:
    // The context must outlive this object.
    explicit LibrarySettingsModel(ModelContext &context, QObject *parent = nullptr);
    ~LibrarySettingsModel() override;

    ModelContext &context() const { return m_context; }
    LibraryArchiveExport &archiveExport() { return m_export; }

    // The library holds at least one image or one series.
    bool hasContent() const { return m_hasContent; }
    // "Export Library…" is enabled: the library has content and no export
    // of this page is under way.
    bool canExport() const { return m_hasContent && !m_export.isBusy(); }
    // "Export Library…": every image and every series, proposed as
    // "Veloran Library".
    void exportLibrary();

    // The open dialog is shown.
    bool isImporting() const { return m_isImporting; }
    void setIsImporting(bool importing);
    // "Import Library…": shows the open dialog.
    void beginImport() { setIsImporting(true); }
    // Imports the archive file at `path` (the open dialog's pick).
    void importArchive(const QString &path);

    QString summaryMessage() const { return m_summaryMessage; }
    bool showsSummary() const { return m_showsSummary; }
    void dismissSummary();
    QString importErrorMessage() const { return m_importErrorMessage; }
    bool showsImportError() const { return m_showsImportError; }
    void dismissImportError();

signals:
    void canExportChanged(bool canExport);
    // Show (true) or close the open dialog.
    void isImportingChanged(bool importing);
    // An import was started; it runs on its own from here.
    void importStarted(LibraryArchiveImport *import);
    // Show the "Library Imported" alert with the current summary (also
    // when it is shown already, with an earlier text), or close it.
    void summaryChanged(bool shows);
    // The same for the "Import Failed" alert.
    void importErrorChanged(bool shows);

private:
    bool libraryHasContent() const;
    void queueContentCheck();
    void updateCanExport();

    ModelContext &m_context;
    LibraryArchiveExport m_export;
    bool m_hasContent = false;
    bool m_canExport = false;
    bool m_contentCheckQueued = false;
    bool m_isImporting = false;
    QString m_summaryMessage;
    bool m_showsSummary = false;
    QString m_importErrorMessage;
    bool m_showsImportError = false;
};
