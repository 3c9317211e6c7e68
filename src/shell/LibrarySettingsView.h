#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class ActivityIndicator;
class AlertDialog;
class LibraryArchiveExporterModifier;
class LibrarySettingsModel;
class ModelContext;
class QFileDialog;
class QPushButton;

// The Library page of the Settings window: "Export Library…", which
// exports the whole library, and "Import Library…", which merges an
// archive into it, each in a section with a footnote. It shows what its
// LibrarySettingsModel holds: the export's save dialog and alert, the open
// dialog, and the "Library Imported" and "Import Failed" alerts, all
// window-modal. An import that ends after the page's window has closed
// shows its alert in a window of its own.
class LibrarySettingsView : public QWidget {
    Q_OBJECT
public:
    // The context must outlive the page.
    explicit LibrarySettingsView(ModelContext &context, QWidget *parent = nullptr);
    ~LibrarySettingsView() override;

    LibrarySettingsModel &model() const { return *m_model; }

    QPushButton *exportButton() const { return m_exportButton; }
    QPushButton *importButton() const { return m_importButton; }
    // Turns beside "Export Library…" while an export is prepared or
    // written.
    ActivityIndicator *exportProgress() const { return m_exportProgress; }

    // What is presented right now (null when nothing is).
    QFileDialog *importer() const;
    QFileDialog *exporter() const;
    AlertDialog *exportErrorAlert() const;
    AlertDialog *summaryAlert() const;
    AlertDialog *importErrorAlert() const;

private:
    // The page's window is shown: not closed, whichever tab it shows.
    bool isWindowOpen() const;
    void updateExportButton();
    void updateImporter();
    void updateSummaryAlert();
    void updateImportErrorAlert();

    std::unique_ptr<LibrarySettingsModel> m_model;
    LibraryArchiveExporterModifier *m_exporter = nullptr;
    QPushButton *m_exportButton = nullptr;
    ActivityIndicator *m_exportProgress = nullptr;
    QPushButton *m_importButton = nullptr;
    QPointer<QFileDialog> m_importer;
    QPointer<AlertDialog> m_summaryAlert;
    QPointer<AlertDialog> m_importErrorAlert;
};
