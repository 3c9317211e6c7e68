#include "editor/AnnotationEditor.h"

#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationLinksEditor.h"
#include "editor/EditorCanvasLayer.h"
#include "editor/EditorSelectionBar.h"
#include "editor/EditorToolBar.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "ui/AlertDialog.h"
#include "ui/AppStyle.h"
#include "ui/Presentation.h"
#include "ui/SystemSymbol.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/ZoomableImage.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor destructiveRed(255, 69, 58);

// "Choose Point or Region to add the first annotation", on a dark capsule
// in the middle of an empty canvas; clicks go through it to the canvas.
class EmptyCanvasHint final : public QWidget {
public:
    explicit EmptyCanvasHint(QWidget *parent)
        : QWidget(parent)
        , m_text(AnnotationEditor::tr("Choose Point or Region to add the first annotation"))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFont(AppStyle::withWeight(AppStyle::callout(), QFont::Medium));
        setAccessibleName(m_text);
        adjustSize();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        const int symbol = metrics.height();
        return {14 + symbol + 6 + metrics.horizontalAdvance(m_text) + 14, 10 + metrics.height() + 10};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath capsule;
        const QRectF box = rect();
        capsule.addRoundedRect(box, box.height() / 2, box.height() / 2);
        painter.fillPath(capsule, QColor::fromRgbF(0, 0, 0, 0.42f));
        const QColor text = QColor::fromRgbF(1, 1, 1, 0.85f);
        const QFontMetrics metrics(font());
        const int symbol = metrics.height();
        SystemSymbol::paint(painter, QStringLiteral("tag"), QRectF(14, 10, symbol, symbol), text);
        painter.setPen(text);
        painter.drawText(QRectF(14 + symbol + 6, 0, width() - symbol - 34, height()),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_text);
    }

private:
    QString m_text;
};

} // namespace

AnnotationEditor::AnnotationEditor(AtlasImage *image, PictureSource *picture,
                                   const std::optional<QUuid> &highlightedID, QWidget *parent)
    : QWidget(parent)
    , m_model(new AnnotationEditorModel(image, highlightedID, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_canvas = new ZoomableImage(this);
    // The image screen's canvas in edit mode: as in the viewer, no focus ring.
    m_canvas->setShowsFocusRing(false);
    m_canvas->setPicture(picture);
    m_layer = new EditorCanvasLayer(m_model, this);
    m_canvas->setOverlay(m_layer);
    m_canvas->installEventFilter(this);
    layout->addWidget(m_canvas);

    // The tools: one exclusive group of commands, on Ctrl+1, Ctrl+2, Ctrl+3.
    auto *tools = new QActionGroup(this);
    const QList<EditTool> allTools = allEditTools();
    for (qsizetype i = 0; i < allTools.size(); ++i) {
        const EditTool tool = allTools[i];
        QAction *action = addCommand(editToolTitle(tool), editToolSymbol(tool));
        action->setCheckable(true);
        action->setChecked(tool == m_model->tool());
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)));
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(),
                                                          action->shortcut().toString(QKeySequence::NativeText)));
        tools->addAction(action);
        connect(action, &QAction::triggered, m_model, [this, tool] { m_model->setTool(tool); });
        m_tools.append(action);
    }
    m_closeDraft = addCommand(tr("Close"), QStringLiteral("checkmark.circle"));
    connect(m_closeDraft, &QAction::triggered, m_model, &AnnotationEditorModel::finishRegion);
    m_cancelDraft = addCommand(tr("Cancel"), QStringLiteral("xmark.circle"));
    connect(m_cancelDraft, &QAction::triggered, m_model, &AnnotationEditorModel::discardDraft);
    m_rename = addCommand(tr("Rename"), QStringLiteral("pencil"));
    connect(m_rename, &QAction::triggered, m_model, &AnnotationEditorModel::beginRename);
    m_links = addCommand(tr("Links"), QStringLiteral("link"));
    connect(m_links, &QAction::triggered, m_model, &AnnotationEditorModel::beginEditingLinks);
    m_newGroup = new QAction(SystemSymbol::icon(QStringLiteral("plus")), tr("New Group…"), this);
    connect(m_newGroup, &QAction::triggered, m_model, &AnnotationEditorModel::beginNewGroup);
    m_deleteVertex = addCommand(QString(), QStringLiteral("minus.circle"), destructiveRed);
    connect(m_deleteVertex, &QAction::triggered, m_model, &AnnotationEditorModel::deleteSelectedVertex);
    m_deleteAnnotation = addCommand(QString(), QStringLiteral("trash"), destructiveRed);
    connect(m_deleteAnnotation, &QAction::triggered, m_model, &AnnotationEditorModel::deleteSelectedAnnotation);

    m_toolBar = new EditorToolBar(tools, m_closeDraft, m_cancelDraft, m_canvas);
    m_selectionBar = new EditorSelectionBar({m_rename, m_links, m_newGroup, m_deleteVertex, m_deleteAnnotation},
                                            m_canvas);
    connect(m_selectionBar, &EditorSelectionBar::groupsMenuRequested, this, &AnnotationEditor::fillGroupsMenu);
    connect(m_selectionBar, &EditorSelectionBar::groupToggled, m_model,
            &AnnotationEditorModel::setSelectedAnnotationGroup);
    m_hint = new EmptyCanvasHint(m_canvas);

    connect(m_model, &AnnotationEditorModel::toolChanged, this, &AnnotationEditor::followTool);
    connect(m_model, &AnnotationEditorModel::draftChanged, this, &AnnotationEditor::refresh);
    connect(m_model, &AnnotationEditorModel::selectionChanged, this, &AnnotationEditor::refresh);
    connect(&m_model->annotations(), &ImageAnnotations::changed, this, &AnnotationEditor::refresh);
    connect(m_model, &AnnotationEditorModel::presentationChanged, this, &AnnotationEditor::updateDialogs);
    connect(m_model, &AnnotationEditorModel::saveErrorChanged, this, &AnnotationEditor::updateSaveError);
    refresh();
    placeOverlays();
}

AnnotationEditor::~AnnotationEditor()
{
    // A gesture in progress ends uncommitted; the dialogs go without
    // answering; what is pending is saved.
    m_canvas->setOverlay(nullptr);
    disconnect(m_model, nullptr, this, nullptr);
    disconnect(&m_model->annotations(), nullptr, this, nullptr);
    dismissDialogs();
    m_model->finish();
    if (const std::optional<QString> error = m_model->saveError()) {
        // Told in the window once this editor has gone.
        QPointer<QWidget> host = window() != this ? window() : nullptr;
        const QString message = *error;
        QMetaObject::invokeMethod(
            qApp,
            [host, message] {
                auto *alert = new AlertDialog(tr("Save Failed"), message, {{tr("OK"), AlertDialog::Role::cancel}},
                                              host);
                alert->setAttribute(Qt::WA_DeleteOnClose);
                alert->open();
            },
            Qt::QueuedConnection);
    }
    // The layer follows the model: it goes first.
    delete m_layer;
    delete m_model;
}

QAction *AnnotationEditor::addCommand(const QString &title, const QString &symbol, const QColor &colour)
{
    auto *action = new QAction(SystemSymbol::icon(symbol, colour), title, this);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

QAction *AnnotationEditor::toolAction(EditTool tool) const
{
    return m_tools.value(allEditTools().indexOf(tool));
}

void AnnotationEditor::followTool()
{
    toolAction(m_model->tool())->setChecked(true);
    refresh();
}

void AnnotationEditor::refresh()
{
    const bool drawing = m_model->tool() == EditTool::region;
    m_toolBar->setShowsDraftCommands(drawing);
    m_closeDraft->setEnabled(drawing && m_model->canFinishRegion());
    m_cancelDraft->setEnabled(drawing && m_model->canDiscardDraft());

    const std::optional<EditorSelection> &selection = m_model->selection();
    const bool resolves = m_model->selectionResolves();
    m_rename->setEnabled(resolves);
    m_links->setEnabled(resolves);
    m_newGroup->setEnabled(resolves);
    m_deleteVertex->setEnabled(m_model->canDeleteSelectedVertex());
    m_deleteAnnotation->setEnabled(selection.has_value());
    if (selection)
        m_selectionBar->setSelection(m_model->selectionTitle(), resolves, selection->kind);
    m_selectionBar->setVisible(selection.has_value());
    m_hint->setVisible(m_model->isEmptyCanvas());
    placeOverlays();
    // The sheet shows the links as they are stored.
    if (m_linksSheet)
        m_linksSheet->setLinks(m_model->selectedLinks());
}

void AnnotationEditor::fillGroupsMenu()
{
    const QStringList names = m_model->availableGroups();
    QSet<QString> on;
    for (const QString &name : names) {
        if (m_model->selectedAnnotationHasGroup(name))
            on.insert(name);
    }
    m_selectionBar->setGroups(names, on);
}

void AnnotationEditor::updateDialogs()
{
    if (!m_model->isRenaming())
        Presentation::dismiss(m_renameAlert);
    else if (!m_renameAlert) {
        m_renameAlert = openTextAlert(tr("Annotation label"), tr("Save"), tr("Label"), m_model->renameText(),
                                      &AnnotationEditorModel::setRenameText, &AnnotationEditorModel::commitRename,
                                      &AnnotationEditorModel::cancelRename);
        // The prompt leaves the point it names in sight.
        if (const PointAnnotation *point = m_model->selectedPoint()) {
            const QPointF at = m_canvas->geometry().viewPoint({point->x(), point->y()});
            m_renameAlert->keepUncovered(QRect(m_canvas->mapToGlobal(at.toPoint()), QSize(1, 1)));
        }
    }

    if (!m_model->isAddingGroup())
        Presentation::dismiss(m_newGroupAlert);
    else if (!m_newGroupAlert)
        m_newGroupAlert = openTextAlert(tr("New Group"), tr("Add"), tr("Group"), m_model->newGroupText(),
                                        &AnnotationEditorModel::setNewGroupText,
                                        &AnnotationEditorModel::commitNewGroup, &AnnotationEditorModel::cancelNewGroup);
    if (m_newGroupAlert)
        m_newGroupAlert->buttons().first()->setEnabled(m_model->canAddGroup());

    if (!m_model->isEditingLinks())
        Presentation::dismiss(m_linksSheet);
    else if (!m_linksSheet) {
        m_linksSheet = new AnnotationLinksEditor(m_model->selectedLinks(), this);
        connect(m_linksSheet, &AnnotationLinksEditor::linksEdited, m_model, &AnnotationEditorModel::setSelectedLinks);
        connect(m_linksSheet, &QDialog::finished, m_model, &AnnotationEditorModel::endEditingLinks);
        m_linksSheet->open();
    }
}

AlertDialog *AnnotationEditor::openTextAlert(const QString &title, const QString &confirm, const QString &field,
                                             const QString &text, void (AnnotationEditorModel::*edited)(const QString &),
                                             void (AnnotationEditorModel::*confirmed)(),
                                             void (AnnotationEditorModel::*cancelled)())
{
    auto *alert = new AlertDialog(title, QString(),
                                  {{confirm, AlertDialog::Role::plain}, {tr("Cancel"), AlertDialog::Role::cancel}}, this);
    connect(alert->addTextField(field, text), &QLineEdit::textEdited, m_model, edited);
    // The model itself is captured: GCC's vptr check takes a captured
    // `this` for null in a call through a member pointer.
    connect(alert, &AlertDialog::buttonPressed, m_model, [model = m_model, confirmed, cancelled](int button) {
        (model->*(button == 0 ? confirmed : cancelled))();
    });
    alert->open();
    return alert;
}

void AnnotationEditor::updateSaveError()
{
    const std::optional<QString> error = m_model->saveError();
    if (!error) {
        Presentation::dismiss(m_saveErrorAlert);
        return;
    }
    if (m_saveErrorAlert)
        return;
    m_saveErrorAlert = new AlertDialog(tr("Save Failed"), *error, {{tr("OK"), AlertDialog::Role::cancel}}, this);
    connect(m_saveErrorAlert, &AlertDialog::buttonPressed, m_model, &AnnotationEditorModel::dismissSaveError);
    m_saveErrorAlert->open();
}

void AnnotationEditor::dismissDialogs()
{
    for (QDialog *dialog : std::initializer_list<QDialog *>{m_renameAlert, m_newGroupAlert, m_linksSheet,
                                                            m_saveErrorAlert}) {
        if (dialog)
            disconnect(dialog, nullptr, nullptr, nullptr);
    }
    Presentation::dismiss(m_renameAlert);
    Presentation::dismiss(m_newGroupAlert);
    Presentation::dismiss(m_linksSheet);
    Presentation::dismiss(m_saveErrorAlert);
}

bool AnnotationEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_canvas && event->type() == QEvent::Resize)
        placeOverlays();
    return QWidget::eventFilter(watched, event);
}

void AnnotationEditor::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Disabled, the editor takes no part any more: its dialogs close as
    // when it goes, and a failed save is told once it has gone.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        m_model->finish();
        dismissDialogs();
    }
}

void AnnotationEditor::placeOverlays()
{
    constexpr int inset = 10;
    m_toolBar->adjustSize();
    m_toolBar->move(layoutDirection() == Qt::RightToLeft ? m_canvas->width() - m_toolBar->width() - inset : inset,
                    inset);
    m_selectionBar->adjustSize();
    m_selectionBar->move((m_canvas->width() - m_selectionBar->width()) / 2,
                         m_canvas->height() - m_selectionBar->height() - inset);
    m_hint->adjustSize();
    m_hint->move((m_canvas->width() - m_hint->width()) / 2, (m_canvas->height() - m_hint->height()) / 2);
}
