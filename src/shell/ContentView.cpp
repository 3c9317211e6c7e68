#include "shell/ContentView.h"

#include "browser/ImportedImage.h"
#include "browser/LibraryFilterControls.h"
#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "browser/LibrarySidebar.h"
#include "browser/MetadataEditor.h"
#include "browser/ThumbnailCache.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentDetail.h"
#include "shell/ContentSidebar.h"
#include "shell/ContentViewModel.h"
#include "shell/FileDialogFolder.h"
#include "shell/LibraryArchiveExporterModifier.h"
#include "ui/AlertDialog.h"
#include "ui/Presentation.h"
#include "viewer/ImageDetailView.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSplitter>

ContentView::ContentView(ContentViewModel &model, QWidget *parent)
    : ContentView(model, UserDefaults::standard(), ThumbnailCache::shared(), parent)
{
}

ContentView::ContentView(ContentViewModel &model, UserDefaults &defaults, ThumbnailCache &cache, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setMinimumSize(minimumContentSize());

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(1);
    m_sidebar = new ContentSidebar(model.appState(), defaults, m_splitter);
    m_detail = new ContentDetail(model.appState(), cache, m_splitter);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({280, 720});
    layout->addWidget(m_splitter);

    wireSidebar();
    wireDetail();
    wireModel();
    refreshSidebar();
    refreshSearchAndFilters();
    refreshDetail();
}

ContentView::~ContentView()
{
    // The presentations (children of the window) show this view's state: they go with it.
    delete m_exporter;
    for (QWidget *dialog : std::initializer_list<QWidget *>{m_fileImporter, m_importSheet, m_metadataSheet,
                                                           m_renameAlert, m_deleteConfirmation, m_errorAlert})
        delete dialog;
}

QFileDialog *ContentView::fileImporter() const
{
    return m_fileImporter;
}

MetadataEditor *ContentView::importSheet() const
{
    return m_importSheet;
}

MetadataEditor *ContentView::metadataSheet() const
{
    return m_metadataSheet;
}

AlertDialog *ContentView::renameAlert() const
{
    return m_renameAlert;
}

AlertDialog *ContentView::deleteConfirmation() const
{
    return m_deleteConfirmation;
}

AlertDialog *ContentView::operationErrorAlert() const
{
    return m_errorAlert;
}

QFileDialog *ContentView::exporter() const
{
    return m_exporter->exporter();
}

AlertDialog *ContentView::exportErrorAlert() const
{
    return m_exporter->errorAlert();
}

void ContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        m_model.contentDidAppear();
    }
}

// The columns' bindings and callbacks

void ContentView::wireSidebar()
{
    LibrarySidebar *sidebar = m_sidebar->sidebar();
    connect(sidebar, &LibrarySidebar::selectionChanged, &m_model, &ContentViewModel::setSidebarSelection);
    connect(sidebar, &LibrarySidebar::searchTextChanged, &m_model, &ContentViewModel::setLibrarySearchText);
    connect(sidebar, &LibrarySidebar::filtersExpandedChanged, &m_model,
            &ContentViewModel::setLibraryFiltersExpanded);
    LibraryFilterControls *filters = sidebar->filterControls();
    connect(filters, &LibraryFilterControls::modalityFilterChanged, &m_model, &ContentViewModel::setModalityFilter);
    connect(filters, &LibraryFilterControls::regionFilterChanged, &m_model, &ContentViewModel::setRegionFilter);
    connect(filters, &LibraryFilterControls::planeFilterChanged, &m_model, &ContentViewModel::setPlaneFilter);
    connect(filters, &LibraryFilterControls::ageKindFilterChanged, &m_model, &ContentViewModel::setAgeKindFilter);
    connect(filters, &LibraryFilterControls::sexFilterChanged, &m_model, &ContentViewModel::setSexFilter);

    connect(m_sidebar->importAction(), &QAction::triggered, &m_model, &ContentViewModel::beginImport);
    connect(sidebar, &LibrarySidebar::importRequested, &m_model, &ContentViewModel::beginImport);
    connect(sidebar, &LibrarySidebar::clearFiltersRequested, &m_model, &ContentViewModel::clearFilters);
    connect(sidebar, &LibrarySidebar::editRequested, &m_model, &ContentViewModel::beginEditImage);
    connect(sidebar, &LibrarySidebar::renameRequested, &m_model, &ContentViewModel::beginRename);
    connect(sidebar, &LibrarySidebar::duplicateImageRequested, &m_model, &ContentViewModel::duplicateImage);
    connect(sidebar, &LibrarySidebar::duplicateSeriesRequested, &m_model, &ContentViewModel::duplicateSeries);
    connect(sidebar, &LibrarySidebar::exportRequested, &m_model, &ContentViewModel::exportEntries);
    connect(sidebar, &LibrarySidebar::shareRequested, &m_model, &ContentViewModel::shareEntries);
    connect(sidebar, &LibrarySidebar::deleteRequested, &m_model, &ContentViewModel::requestDeletion);
}

void ContentView::wireDetail()
{
    LibraryGrid *grid = m_detail->grid();
    LibraryOperations *operations = &m_model.operations();
    connect(grid, &LibraryGrid::selectedImageChanged, &m_model, &ContentViewModel::setGridSelection);
    connect(grid, &LibraryGrid::autoFocusOnAppearChanged, &m_model, &ContentViewModel::setFocusGridOnAppear);
    connect(grid, &LibraryGrid::openRequested, &m_model, &ContentViewModel::openImage);
    connect(grid, &LibraryGrid::importRequested, &m_model, &ContentViewModel::beginImport);
    connect(grid, &LibraryGrid::addImagesRequested, &m_model, &ContentViewModel::beginAddImages);
    grid->onDropImages = [model = &m_model](const QList<QUrl> &urls) { return model->handleDrop(urls); };
    connect(grid, &LibraryGrid::clearFiltersRequested, &m_model, &ContentViewModel::clearFilters);
    connect(grid, &LibraryGrid::editRequested, &m_model, &ContentViewModel::beginEditImage);
    connect(grid, &LibraryGrid::duplicateRequested, &m_model, &ContentViewModel::duplicateImage);
    // One image from the grid goes at once, without asking.
    connect(grid, &LibraryGrid::deleteRequested, this, [this](AtlasImage *image) { m_model.deleteImages({image}); });
    connect(grid, &LibraryGrid::moveRequested, operations, &LibraryOperations::moveImage);
    grid->canMoveImage = [operations](AtlasImage *image, int offset) { return operations->canMoveImage(image, offset); };

    connect(m_detail->returnToGridAction(), &QAction::triggered, &m_model, &ContentViewModel::returnToGrid);
    connect(m_detail->returnToGridByKeyAction(), &QAction::triggered, &m_model,
            &ContentViewModel::returnToGridFromKeyboard);
    connect(m_detail->nextImageAction(), &QAction::triggered, this, [this] { m_model.advanceOpenedImage(1); });
    connect(m_detail->previousImageAction(), &QAction::triggered, this, [this] { m_model.advanceOpenedImage(-1); });
    connect(&m_model.appState(), &AppState::isEditingChanged, this, &ContentView::updateImageScreenCommands);
    // A link the desktop opened nothing for.
    connect(m_detail->imageScreen(), &ImageDetailView::operationFailed, &m_model,
            &ContentViewModel::reportOperationError);
}

void ContentView::wireModel()
{
    ContentViewModel *model = &m_model;
    // The model announces visibleImagesChanged after every entriesChanged
    // and sidebar selection change: the grid is refreshed once, there.
    connect(model, &ContentViewModel::entriesChanged, this, &ContentView::refreshSidebar);
    connect(model, &ContentViewModel::visibleImagesChanged, this, &ContentView::refreshDetail);
    connect(model, &ContentViewModel::openedImageChanged, this, &ContentView::updateImageScreenCommands);
    connect(model, &ContentViewModel::searchAndFiltersChanged, this, &ContentView::refreshSearchAndFilters);
    connect(model, &ContentViewModel::filtersExpandedChanged, this,
            [this](bool expanded) { m_sidebar->sidebar()->setFiltersExpanded(expanded); });
    connect(model, &ContentViewModel::sidebarSelectionChanged, this,
            [this] { m_sidebar->sidebar()->setSelection(m_model.sidebarSelection()); });
    connect(model, &ContentViewModel::gridSelectionChanged, this,
            [this](AtlasImage *image) { m_detail->grid()->setSelectedImage(image); });
    connect(model, &ContentViewModel::focusGridOnAppearChanged, this,
            [this](bool focus) { m_detail->grid()->setAutoFocusOnAppear(focus); });
    connect(model, &ContentViewModel::openedImageChanged, this,
            [this](AtlasImage *image) { m_detail->setOpenedImage(image); });

    connect(model, &ContentViewModel::isImportingChanged, this, &ContentView::updateFileImporter);
    connect(model, &ContentViewModel::pendingImportChanged, this, &ContentView::updateImportSheet);
    connect(model, &ContentViewModel::editingImageChanged, this, &ContentView::updateMetadataSheet);
    connect(model, &ContentViewModel::renamingSeriesChanged, this, &ContentView::updateRenameAlert);
    connect(model, &ContentViewModel::deletionConfirmationChanged, this, &ContentView::updateDeleteConfirmation);
    connect(model, &ContentViewModel::operationErrorChanged, this, &ContentView::updateOperationErrorAlert);
    connect(model, &ContentViewModel::isReadingImportChanged, this, &ContentView::updateBusyCursor);
    // One import at a time: while picked files are read, the grid takes no
    // drop (the model refuses the import commands).
    connect(model, &ContentViewModel::isReadingImportChanged, this, [this](bool reading) {
        LibraryGridView *view = m_detail->grid()->view();
        view->setAcceptDrops(!reading);
        view->viewport()->setAcceptDrops(!reading);
    });
    connect(model, &ContentViewModel::isCommittingImportChanged, this, &ContentView::updateBusyCursor);

    LibraryArchiveExport *archiveExport = &m_model.archiveExport();
    m_exporter = new LibraryArchiveExporterModifier(*archiveExport, this);
    connect(m_exporter, &LibraryArchiveExporterModifier::aboutToPresent, this, &ContentView::aboutToPresent);
    connect(archiveExport, &LibraryArchiveExport::isPreparingChanged, this, &ContentView::updateBusyCursor);
    connect(archiveExport, &LibraryArchiveExport::isWritingChanged, this, &ContentView::updateBusyCursor);
    connect(&m_model.archiveShare(), &LibraryArchiveShare::isSharingChanged, this, &ContentView::updateBusyCursor);
}

void ContentView::updateBusyCursor()
{
    const LibraryArchiveExport &archiveExport = m_model.archiveExport();
    if (m_model.isReadingImport() || m_model.isCommittingImport() || archiveExport.isPreparing()
        || archiveExport.isWriting() || m_model.archiveShare().isSharing())
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    // The import sheet stays up while its pictures are written.
    if (m_importSheet) {
        if (m_model.isCommittingImport())
            m_importSheet->setCursor(Qt::BusyCursor);
        else
            m_importSheet->unsetCursor();
    }
}

void ContentView::refreshSidebar()
{
    LibrarySidebar *sidebar = m_sidebar->sidebar();
    const bool hasContent = m_model.library().hasContent();
    sidebar->setHasContent(hasContent);
    sidebar->setHasActiveFilters(m_model.hasActiveFilters());
    sidebar->setSearching(m_model.isSearching());
    sidebar->setEntries(m_model.libraryEntries());
    sidebar->setSelection(m_model.sidebarSelection());
    sidebar->setFiltersExpanded(m_model.isLibraryFiltersExpanded());
    m_sidebar->setHasContent(hasContent);
    m_sidebar->setHasActiveFilters(m_model.hasActiveFilters());
}

void ContentView::refreshSearchAndFilters()
{
    LibrarySidebar *sidebar = m_sidebar->sidebar();
    sidebar->setSearchText(m_model.librarySearchText());
    LibraryFilterControls *filters = sidebar->filterControls();
    filters->setModalityFilter(m_model.modalityFilter());
    filters->setRegionFilter(m_model.regionFilter());
    filters->setPlaneFilter(m_model.planeFilter());
    filters->setAgeKindFilter(m_model.ageKindFilter());
    filters->setSexFilter(m_model.sexFilter());
    sidebar->setHasActiveFilters(m_model.hasActiveFilters());
    m_sidebar->setHasActiveFilters(m_model.hasActiveFilters());
}

void ContentView::refreshDetail()
{
    LibraryGrid *grid = m_detail->grid();
    grid->setHasImages(m_model.library().hasImages());
    grid->setHasSelection(m_model.hasSelection());
    grid->setHasActiveFilters(m_model.hasActiveFilters());
    grid->setCanAddImages(m_model.canAddImages());
    grid->setCanReorder(m_model.canReorder());
    grid->setSearching(m_model.isSearching());
    grid->setImages(m_model.visibleImages());
    grid->setSelectedImage(m_model.gridSelection());
    grid->setAutoFocusOnAppear(m_model.focusGridOnAppear());
    updateImageScreenCommands();
}

void ContentView::updateImageScreenCommands()
{
    m_detail->nextImageAction()->setEnabled(m_model.canAdvanceOpenedImage(1));
    m_detail->previousImageAction()->setEnabled(m_model.canAdvanceOpenedImage(-1));
    m_detail->returnToGridByKeyAction()->setEnabled(m_model.canReturnToGridFromKeyboard());
}

// Presentations

QWidget *ContentView::presentationParent() const
{
    if (m_importSheet && m_importSheet->isVisible())
        return m_importSheet;
    if (m_metadataSheet && m_metadataSheet->isVisible())
        return m_metadataSheet;
    return window();
}

void ContentView::present(QDialog *presentation)
{
    emit aboutToPresent();
    presentation->open();
}

void ContentView::updateFileImporter()
{
    if (!m_model.isImporting()) {
        if (m_fileImporter) {
            QFileDialog *importer = m_fileImporter;
            m_fileImporter = nullptr;
            importer->close();
        }
        return;
    }
    if (m_fileImporter)
        return;
    // Image files are picked where the last ones were.
    static FileDialogFolder folder(QStandardPaths::PicturesLocation);
    auto *importer = new QFileDialog(window());
    folder.follow(*importer);
    importer->setFileMode(QFileDialog::ExistingFiles);
    importer->setAcceptMode(QFileDialog::AcceptOpen);
    importer->setNameFilter(QStringLiteral("Images (") + importableImageNamePatterns().join(QLatin1Char(' '))
                            + QLatin1Char(')'));
    importer->setOption(QFileDialog::HideNameFilterDetails);
    importer->setWindowModality(Qt::WindowModal);
    importer->setAttribute(Qt::WA_DeleteOnClose);
    m_fileImporter = importer;
    connect(importer, &QFileDialog::finished, this, [this, importer](int result) {
        const QList<QUrl> urls = result == QDialog::Accepted ? importer->selectedUrls() : QList<QUrl>();
        if (m_fileImporter == importer)
            m_fileImporter = nullptr;
        // The importer has closed; then its pick is handled.
        m_model.setIsImporting(false);
        if (result == QDialog::Accepted)
            m_model.handleImportResult(urls);
    });
    present(importer);
}

void ContentView::updateImportSheet()
{
    const std::optional<PendingImageImport> &pending = m_model.pendingImport();
    if (m_importSheet && (!pending || pending->id != m_importSheetID))
        Presentation::dismiss(m_importSheet);
    if (!pending || m_importSheet)
        return;
    const ContentViewModel::ImportSheet sheet = m_model.importSheet(*pending);
    const PendingImageImport shown = *pending;
    m_importSheetID = shown.id;
    m_importSheet = new MetadataEditor(sheet.imageCount, sheet.navigationTitle, sheet.headerSubtitle, sheet.actionTitle,
                                       sheet.draft, window());
    connect(m_importSheet, &MetadataEditor::cancelled, &m_model, &ContentViewModel::cancelImport);
    connect(m_importSheet, &MetadataEditor::confirmed, this,
            [this, shown](const MetadataDraft &draft) { m_model.commitImport(shown, draft); });
    present(m_importSheet);
}

void ContentView::updateMetadataSheet()
{
    AtlasImage *image = m_model.editingImage();
    if (m_metadataSheet && image != m_metadataSheetImage)
        Presentation::dismiss(m_metadataSheet);
    if (!image || m_metadataSheet)
        return;
    const ContentViewModel::EditSheet sheet = m_model.editSheet(*image);
    m_metadataSheetImage = image;
    m_metadataSheet = new MetadataEditor(sheet.imageCount, sheet.navigationTitle, sheet.headerSubtitle,
                                         sheet.actionTitle, sheet.draft, window());
    connect(m_metadataSheet, &MetadataEditor::cancelled, &m_model, &ContentViewModel::cancelEditImage);
    connect(m_metadataSheet, &MetadataEditor::confirmed, this,
            [this, image](const MetadataDraft &draft) { m_model.saveEditedImage(image, draft); });
    present(m_metadataSheet);
}

void ContentView::updateRenameAlert()
{
    Series *series = m_model.renamingSeries();
    if (m_renameAlert && series != m_renameAlertSeries)
        Presentation::dismiss(m_renameAlert);
    if (!series || m_renameAlert)
        return;
    m_renameAlertSeries = series;
    m_renameAlert = new AlertDialog(QStringLiteral("Rename Series"), QString(),
                                    {{QStringLiteral("Cancel"), AlertDialog::Role::cancel},
                                     {QStringLiteral("Rename"), AlertDialog::Role::plain}},
                                    presentationParent());
    connect(m_renameAlert, &AlertDialog::buttonPressed, this, [this, series](int button) {
        if (button == 0)
            m_model.dismissRename();
        else
            m_model.renameSeries(series, m_model.seriesRenameTitle());
    });
    QLineEdit *field = m_renameAlert->addTextField(QStringLiteral("Series title"), m_model.seriesRenameTitle());
    connect(field, &QLineEdit::textEdited, &m_model, &ContentViewModel::setSeriesRenameTitle);
    present(m_renameAlert);
}

void ContentView::updateDeleteConfirmation()
{
    if (!m_model.isConfirmingDeletion()) {
        Presentation::dismiss(m_deleteConfirmation);
        return;
    }
    if (m_deleteConfirmation)
        return;
    m_deleteConfirmation = new AlertDialog(m_model.deletionConfirmationTitle(), m_model.deletionConfirmationMessage(),
                                           {{QStringLiteral("Delete"), AlertDialog::Role::destructive},
                                            {QStringLiteral("Cancel"), AlertDialog::Role::cancel}},
                                           presentationParent());
    connect(m_deleteConfirmation, &AlertDialog::buttonPressed, this, [this](int button) {
        if (button == 0)
            m_model.confirmDeletion();
        else
            m_model.cancelDeletion();
    });
    present(m_deleteConfirmation);
}

void ContentView::updateOperationErrorAlert()
{
    if (!m_model.showsOperationError()) {
        Presentation::dismiss(m_errorAlert);
        return;
    }
    // A new error replaces one still shown.
    Presentation::dismiss(m_errorAlert);
    m_errorAlert = new AlertDialog(m_model.operationErrorTitle(), m_model.operationErrorMessage(),
                                   {{QStringLiteral("OK"), AlertDialog::Role::cancel}}, presentationParent());
    connect(m_errorAlert, &AlertDialog::buttonPressed, &m_model, &ContentViewModel::dismissOperationError);
    present(m_errorAlert);
}
