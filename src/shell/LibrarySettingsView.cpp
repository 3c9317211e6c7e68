#include "shell/LibrarySettingsView.h"

#include "shell/LibraryArchiveExport.h"
#include "shell/LibraryArchiveExporterModifier.h"
#include "shell/LibraryArchiveFileDialog.h"
#include "shell/LibraryArchiveImport.h"
#include "shell/LibrarySettingsModel.h"
#include "ui/ActivityIndicator.h"
#include "ui/AlertDialog.h"
#include "ui/FormSection.h"
#include "ui/Presentation.h"
#include "ui/SystemSymbol.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString importedTitle = QStringLiteral("Library Imported");
const QString importFailedTitle = QStringLiteral("Import Failed");

AlertDialog *makeAlert(const QString &title, const QString &message, QWidget *parent)
{
    return new AlertDialog(title, message, {{QStringLiteral("OK"), AlertDialog::Role::cancel}}, parent);
}

// The outcome of an import whose page has closed, in a window of its own.
void showOnItsOwn(const QString &title, const QString &message)
{
    AlertDialog *alert = makeAlert(title, message, nullptr);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->show();
}

} // namespace

LibrarySettingsView::LibrarySettingsView(ModelContext &context, QWidget *parent)
    : QWidget(parent)
    , m_model(std::make_unique<LibrarySettingsModel>(context))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);

    auto *exportSection = new FormSection(this);
    auto *exportRow = new QHBoxLayout;
    exportRow->setSpacing(8);
    m_exportButton = new QPushButton(SystemSymbol::icon(QStringLiteral("square.and.arrow.up")),
                                     QStringLiteral("Export Library…"), this);
    m_exportProgress = new ActivityIndicator(this);
    exportRow->addWidget(m_exportButton);
    exportRow->addWidget(m_exportProgress);
    exportRow->addStretch(1);
    exportSection->addRow(exportRow);
    exportSection->setFooter(QStringLiteral("Saves the entire library for back up or sharing. To export just some "
                                            "images, choose Export from a library row."));
    layout->addWidget(exportSection);

    auto *importSection = new FormSection(this);
    auto *importRow = new QHBoxLayout;
    m_importButton = new QPushButton(SystemSymbol::icon(QStringLiteral("square.and.arrow.down")),
                                     QStringLiteral("Import Library…"), this);
    importRow->addWidget(m_importButton);
    importRow->addStretch(1);
    importSection->addRow(importRow);
    importSection->setFooter(QStringLiteral("Adds new items. Existing images and series are untouched."));
    layout->addWidget(importSection);
    layout->addStretch(1);

    LibrarySettingsModel *model = m_model.get();
    LibraryArchiveExport *archiveExport = &model->archiveExport();
    m_exporter = new LibraryArchiveExporterModifier(*archiveExport, this);
    connect(m_exportButton, &QPushButton::clicked, model, &LibrarySettingsModel::exportLibrary);
    connect(m_importButton, &QPushButton::clicked, model, &LibrarySettingsModel::beginImport);
    connect(model, &LibrarySettingsModel::canExportChanged, this, &LibrarySettingsView::updateExportButton);
    connect(archiveExport, &LibraryArchiveExport::isPreparingChanged, this, &LibrarySettingsView::updateExportButton);
    connect(archiveExport, &LibraryArchiveExport::isWritingChanged, this, &LibrarySettingsView::updateExportButton);
    connect(model, &LibrarySettingsModel::isImportingChanged, this, &LibrarySettingsView::updateImporter);
    connect(model, &LibrarySettingsModel::summaryChanged, this, &LibrarySettingsView::updateSummaryAlert);
    connect(model, &LibrarySettingsModel::importErrorChanged, this, &LibrarySettingsView::updateImportErrorAlert);
    connect(model, &LibrarySettingsModel::importStarted, this, [page = QPointer(this)](LibraryArchiveImport *import) {
        // Once the page's window has closed, the import tells its outcome
        // itself.
        const auto pageClosed = [page] { return !page || !page->isWindowOpen(); };
        connect(import, &LibraryArchiveImport::imported, import, [pageClosed](const QString &summary) {
            if (pageClosed())
                showOnItsOwn(importedTitle, summary);
        });
        connect(import, &LibraryArchiveImport::failed, import, [pageClosed](const QString &description) {
            if (pageClosed())
                showOnItsOwn(importFailedTitle, description);
        });
    });
    updateExportButton();
}

LibrarySettingsView::~LibrarySettingsView()
{
    // The presentations go with the page, reporting nothing; the exporter
    // first, as it follows the model's export.
    delete m_exporter;
    if (m_importer) {
        m_importer->disconnect(this);
        delete m_importer.data();
    }
    delete m_summaryAlert.data();
    delete m_importErrorAlert.data();
}

QFileDialog *LibrarySettingsView::importer() const
{
    return m_importer;
}

AlertDialog *LibrarySettingsView::summaryAlert() const
{
    return m_summaryAlert;
}

AlertDialog *LibrarySettingsView::importErrorAlert() const
{
    return m_importErrorAlert;
}

QFileDialog *LibrarySettingsView::exporter() const
{
    return m_exporter->exporter();
}

AlertDialog *LibrarySettingsView::exportErrorAlert() const
{
    return m_exporter->errorAlert();
}

void LibrarySettingsView::updateExportButton()
{
    m_exportButton->setEnabled(m_model->canExport());
    const LibraryArchiveExport &archiveExport = m_model->archiveExport();
    m_exportProgress->setVisible(archiveExport.isPreparing() || archiveExport.isWriting());
}

void LibrarySettingsView::updateImporter()
{
    if (!m_model->isImporting()) {
        if (QFileDialog *importer = m_importer) {
            m_importer = nullptr;
            importer->reject();
        }
        return;
    }
    if (m_importer)
        return;
    QFileDialog *importer = LibraryArchiveFileDialog::makeOpenDialog(this);
    m_importer = importer;
    connect(importer, &QFileDialog::finished, this, [this, importer](int result) {
        const QStringList files = importer->selectedFiles();
        if (m_importer == importer)
            m_importer = nullptr;
        // The dialog has closed; then its pick is imported.
        m_model->setIsImporting(false);
        if (result == QDialog::Accepted && !files.isEmpty())
            m_model->importArchive(files.first());
    });
    importer->open();
}

bool LibrarySettingsView::isWindowOpen() const
{
    return window()->isVisible();
}

void LibrarySettingsView::updateSummaryAlert()
{
    Presentation::dismiss(m_summaryAlert);
    if (!m_model->showsSummary() || !isWindowOpen())
        return;
    m_summaryAlert = makeAlert(importedTitle, m_model->summaryMessage(), window());
    connect(m_summaryAlert, &AlertDialog::buttonPressed, m_model.get(), &LibrarySettingsModel::dismissSummary);
    m_summaryAlert->open();
}

void LibrarySettingsView::updateImportErrorAlert()
{
    Presentation::dismiss(m_importErrorAlert);
    if (!m_model->showsImportError() || !isWindowOpen())
        return;
    m_importErrorAlert = makeAlert(importFailedTitle, m_model->importErrorMessage(), window());
    connect(m_importErrorAlert, &AlertDialog::buttonPressed, m_model.get(),
            &LibrarySettingsModel::dismissImportError);
    m_importErrorAlert->open();
}
