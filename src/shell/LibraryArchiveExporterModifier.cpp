#include "shell/LibraryArchiveExporterModifier.h"

#include "shell/LibraryArchiveExport.h"
#include "shell/LibraryArchiveFileDialog.h"
#include "ui/AlertDialog.h"
#include "ui/Presentation.h"

#include <QFileDialog>

LibraryArchiveExporterModifier::LibraryArchiveExporterModifier(LibraryArchiveExport &archiveExport, QWidget *host)
    : QObject(host)
    , m_export(&archiveExport)
    , m_host(host)
{
    connect(&archiveExport, &LibraryArchiveExport::isPresentingExporterChanged, this,
            &LibraryArchiveExporterModifier::updateExporter);
    connect(&archiveExport, &LibraryArchiveExport::showsErrorChanged, this,
            &LibraryArchiveExporterModifier::updateErrorAlert);
    updateExporter();
    updateErrorAlert();
}

LibraryArchiveExporterModifier::~LibraryArchiveExporterModifier()
{
    // Closing them with the window reports nothing back.
    for (QDialog *dialog : std::initializer_list<QDialog *>{m_exporter, m_errorAlert}) {
        if (dialog) {
            dialog->disconnect(this);
            delete dialog;
        }
    }
}

void LibraryArchiveExporterModifier::updateExporter()
{
    const bool presenting = m_export && m_export->isPresentingExporter();
    if (!presenting) {
        if (QFileDialog *exporter = m_exporter) {
            m_exporter = nullptr;
            exporter->reject();
        }
        return;
    }
    if (m_exporter)
        return;
    QFileDialog *exporter = LibraryArchiveFileDialog::makeSaveDialog(m_export->defaultFilename(), m_host);
    m_exporter = exporter;
    connect(exporter, &QFileDialog::finished, this, [this, exporter](int result) {
        const QStringList files = exporter->selectedFiles();
        if (m_exporter == exporter)
            m_exporter = nullptr;
        if (!m_export)
            return;
        if (result == QDialog::Accepted && !files.isEmpty())
            m_export->handleExportResult(files.first());
        else
            m_export->handleExportResult(std::nullopt);
    });
    emit aboutToPresent();
    exporter->open();
}

void LibraryArchiveExporterModifier::updateErrorAlert()
{
    // A new error replaces one still shown.
    Presentation::dismiss(m_errorAlert);
    if (!m_export || !m_export->showsError())
        return;
    m_errorAlert = new AlertDialog(m_export->errorTitle(), m_export->errorMessage(),
                                   {{QStringLiteral("OK"), AlertDialog::Role::cancel}}, m_host->window());
    connect(m_errorAlert, &AlertDialog::buttonPressed, m_export, &LibraryArchiveExport::dismissError);
    emit aboutToPresent();
    m_errorAlert->open();
}

QFileDialog *LibraryArchiveExporterModifier::exporter() const
{
    return m_exporter;
}

AlertDialog *LibraryArchiveExporterModifier::errorAlert() const
{
    return m_errorAlert;
}
