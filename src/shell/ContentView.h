#pragma once

#include <QPointer>
#include <QUuid>
#include <QWidget>

class AlertDialog;
class AppState;
class AtlasImage;
class ContentDetail;
class ContentSidebar;
class ContentViewModel;
class LibraryArchiveExporterModifier;
class MetadataEditor;
class QDialog;
class QFileDialog;
class QSplitter;
class Series;
class ThumbnailCache;
class UserDefaults;

// The content of one main window: the sidebar column and the detail column
// side by side in a split view, over the window's ContentViewModel, which
// holds all of the window's state. This view draws nothing itself: it hands
// the columns what the model derives, turns their signals and commands into
// the model's intents, and presents what the model asks for: the image file
// importer, the import sheet, the metadata sheet of one image, the "Rename
// Series" alert, the delete confirmation, the operation-error alert and the
// export's save dialog and "Export Failed" alert, all window-modal. Each
// presentation follows one value of the model and closes when that value is
// cleared. The window shows this view before any of them opens over it
// (aboutToPresent()): a sheet stays with the view whose state it shows.
class ContentView : public QWidget {
    Q_OBJECT
public:
    // The model must outlive the view.
    explicit ContentView(ContentViewModel &model, QWidget *parent = nullptr);
    ContentView(ContentViewModel &model, UserDefaults &defaults, ThumbnailCache &cache, QWidget *parent = nullptr);
    ~ContentView() override;

    ContentViewModel &model() const { return m_model; }
    ContentSidebar *contentSidebar() const { return m_sidebar; }
    ContentDetail *contentDetail() const { return m_detail; }
    QSplitter *splitter() const { return m_splitter; }

    // What is presented right now (null when nothing is).
    QFileDialog *fileImporter() const;
    MetadataEditor *importSheet() const;
    MetadataEditor *metadataSheet() const;
    AlertDialog *renameAlert() const;
    AlertDialog *deleteConfirmation() const;
    AlertDialog *operationErrorAlert() const;
    // The export's save dialog and "Export Failed" alert.
    QFileDialog *exporter() const;
    AlertDialog *exportErrorAlert() const;

    // The minimum size of the window's content.
    static QSize minimumContentSize() { return QSize(1000, 600); }

signals:
    // A presentation is about to open over the window.
    void aboutToPresent();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void wireSidebar();
    void wireDetail();
    void wireModel();

    void refreshSidebar();
    void refreshSearchAndFilters();
    void refreshDetail();
    void updateImageScreenCommands();
    // Busy while picked files are read or committed (the import sheet too),
    // an export is prepared or written, or a share's archive is written.
    void updateBusyCursor();

    void updateFileImporter();
    void updateImportSheet();
    void updateMetadataSheet();
    void updateRenameAlert();
    void updateDeleteConfirmation();
    void updateOperationErrorAlert();
    // The topmost presented sheet, or the window: alerts show over it.
    QWidget *presentationParent() const;
    // Opens the presentation, window-modal, once the window shows this view.
    void present(QDialog *presentation);

    ContentViewModel &m_model;
    QSplitter *m_splitter = nullptr;
    ContentSidebar *m_sidebar = nullptr;
    ContentDetail *m_detail = nullptr;
    bool m_appeared = false;

    QPointer<QFileDialog> m_fileImporter;
    QPointer<MetadataEditor> m_importSheet;
    QUuid m_importSheetID;
    QPointer<MetadataEditor> m_metadataSheet;
    AtlasImage *m_metadataSheetImage = nullptr;
    QPointer<AlertDialog> m_renameAlert;
    Series *m_renameAlertSeries = nullptr;
    QPointer<AlertDialog> m_deleteConfirmation;
    QPointer<AlertDialog> m_errorAlert;
    LibraryArchiveExporterModifier *m_exporter = nullptr;
};
