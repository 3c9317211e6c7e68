#pragma once

#include <QObject>
#include <QPointer>

class AlertDialog;
class LibraryArchiveExport;
class QFileDialog;
class QWidget;

// Shows one LibraryArchiveExport over a window: its save dialog while the
// export presents it (window-modal, proposing the export's file name with
// the archive's extension and type), and its "Export Failed" alert while
// it shows an error (one "OK" button). The dialog's outcome and the
// alert's button go back to the export. Lives as a child of the widget
// that it shows them over.
class LibraryArchiveExporterModifier : public QObject {
    Q_OBJECT
public:
    // The export must outlive this object, or be destroyed with it.
    LibraryArchiveExporterModifier(LibraryArchiveExport &archiveExport, QWidget *host);
    ~LibraryArchiveExporterModifier() override;

    // What is presented right now (null when nothing is).
    QFileDialog *exporter() const;
    AlertDialog *errorAlert() const;

signals:
    // The save dialog or the alert is about to open.
    void aboutToPresent();

private:
    void updateExporter();
    void updateErrorAlert();

    QPointer<LibraryArchiveExport> m_export;
    QWidget *m_host = nullptr;
    QPointer<QFileDialog> m_exporter;
    QPointer<AlertDialog> m_errorAlert;
};
