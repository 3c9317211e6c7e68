#include "editor/AnnotationEditorModel.h"

#include "editor/AnnotationEdits.h"
#include "editor/RegionGeometry.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "platform/LocalizedText.h"
#include "viewer/ImageAnnotations.h"

#include <utility>

AnnotationEditorModel::AnnotationEditorModel(AtlasImage *image, const std::optional<QUuid> &highlightedID,
                                             QObject *parent)
    : QObject(parent)
    , m_annotations(new ImageAnnotations(this))
    , m_edits(new AnnotationEdits(image, this))
{
    m_annotations->setImage(image);
    if (image)
        m_selection = EditorSelection::forAnnotation(highlightedID, *image);
    connect(m_annotations, &ImageAnnotations::annotationWritten, this, [this] { m_annotationWritten = true; });
    connect(m_annotations, &ImageAnnotations::changed, this, &AnnotationEditorModel::annotationsChanged);
    connect(m_edits, &AnnotationEdits::saveFailed, this, &AnnotationEditorModel::showSaveError);
}

AnnotationEditorModel::~AnnotationEditorModel()
{
    // The watched lists report their end; nothing here follows them then.
    disconnect(m_annotations, nullptr, this, nullptr);
}

AtlasImage *AnnotationEditorModel::image() const
{
    return m_edits->image();
}

void AnnotationEditorModel::setTool(EditTool tool)
{
    if (tool == m_tool)
        return;
    m_tool = tool;
    if (tool != EditTool::region && !m_draft.isEmpty()) {
        m_draft.clear();
        emit draftChanged();
    }
    emit toolChanged(tool);
    if (tool != EditTool::select)
        setSelection(std::nullopt);
}

void AnnotationEditorModel::moveDraftVertex(int index, const QPointF &position)
{
    if (index < 0 || index >= m_draft.size())
        return;
    m_draft[index] = {position.x(), position.y()};
    emit draftChanged();
}

void AnnotationEditorModel::discardDraft()
{
    if (m_draft.isEmpty())
        return;
    m_draft.clear();
    emit draftChanged();
}

void AnnotationEditorModel::finishRegion()
{
    if (!canFinishRegion())
        return;
    RegionAnnotation *region = m_edits->finishRegion(m_draft);
    if (!region)
        return;
    m_draft.clear();
    emit draftChanged();
    setTool(EditTool::select);
    setSelection(EditorSelection::region(region->id()));
    beginRenameOfSelection();
}

void AnnotationEditorModel::setSelection(const std::optional<EditorSelection> &selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    m_resolved.reset();
    emit selectionChanged();
}

const AnnotationEditorModel::Resolved &AnnotationEditorModel::resolved() const
{
    if (!m_resolved) {
        Resolved found;
        if (m_selection && image()) {
            if (m_selection->isPoint())
                found.point = findPoint(*image(), m_selection->id);
            else
                found.region = findRegion(*image(), m_selection->id);
        }
        m_resolved = found;
    }
    return *m_resolved;
}

PointAnnotation *AnnotationEditorModel::selectedPoint() const
{
    return resolved().point;
}

RegionAnnotation *AnnotationEditorModel::selectedRegion() const
{
    return resolved().region;
}

QString AnnotationEditorModel::selectionTitle() const
{
    if (!m_selection)
        return {};
    QString label;
    if (const PointAnnotation *point = selectedPoint())
        label = point->label();
    else if (const RegionAnnotation *region = selectedRegion())
        label = region->label();
    return shownAnnotationLabel(label);
}

void AnnotationEditorModel::tapCanvas(const QPointF &position)
{
    switch (m_tool) {
    case EditTool::select:
        setSelection(std::nullopt);
        break;
    case EditTool::point:
        if (const PointAnnotation *point = m_edits->createPoint(position)) {
            setSelection(EditorSelection::point(point->id()));
            beginRenameOfSelection();
        }
        break;
    case EditTool::region:
        m_draft.append({position.x(), position.y()});
        emit draftChanged();
        break;
    }
}

void AnnotationEditorModel::insertVertex(const QUuid &regionID, int afterIndex)
{
    if (const std::optional<int> index = m_edits->insertVertex(regionID, afterIndex))
        setSelection(EditorSelection::vertex(regionID, *index));
}

void AnnotationEditorModel::deleteSelectedAnnotation()
{
    if (!m_selection)
        return;
    if (m_selection->isPoint())
        m_edits->deletePoint(m_selection->id);
    else
        m_edits->deleteRegion(m_selection->id);
    setSelection(std::nullopt);
}

void AnnotationEditorModel::deleteSelectedVertex()
{
    if (!m_selection || m_selection->kind != EditorSelection::Kind::vertex)
        return;
    const EditorSelection vertex = *m_selection;
    if (m_edits->deleteVertex(vertex.id, vertex.index))
        setSelection(EditorSelection::region(vertex.id));
}

bool AnnotationEditorModel::canDeleteSelectedVertex() const
{
    if (!m_selection || m_selection->kind != EditorSelection::Kind::vertex)
        return false;
    const RegionAnnotation *region = selectedRegion();
    return region && RegionGeometry::canRemoveVertex(region->vertices(), m_selection->index);
}

QStringList AnnotationEditorModel::availableGroups() const
{
    QStringList groupStrings;
    for (const PointAnnotation *point : m_annotations->points())
        groupStrings.append(point->group());
    for (const RegionAnnotation *region : m_annotations->regions())
        groupStrings.append(region->group());
    QStringList names = allGroupNames(groupStrings);
    names.removeAll(ungroupedGroupName());
    return names;
}

bool AnnotationEditorModel::selectedAnnotationHasGroup(const QString &name) const
{
    if (const PointAnnotation *point = selectedPoint())
        return point->hasGroup(name);
    if (const RegionAnnotation *region = selectedRegion())
        return region->hasGroup(name);
    return false;
}

void AnnotationEditorModel::setSelectedAnnotationGroup(const QString &name, bool enabled)
{
    if (m_selection)
        m_edits->setGroup(*m_selection, name, enabled);
    else
        m_edits->save();
}

void AnnotationEditorModel::beginRename()
{
    if (selectionResolves())
        beginRenameOfSelection();
}

void AnnotationEditorModel::beginRenameOfSelection()
{
    if (const PointAnnotation *point = selectedPoint())
        m_renameText = point->label();
    else if (const RegionAnnotation *region = selectedRegion())
        m_renameText = region->label();
    else
        m_renameText.clear();
    m_renaming = true;
    emit presentationChanged();
}

void AnnotationEditorModel::commitRename()
{
    if (!dismiss(m_renaming))
        return;
    if (m_selection)
        m_edits->rename(*m_selection, m_renameText);
    else
        m_edits->save();
}

void AnnotationEditorModel::cancelRename()
{
    dismiss(m_renaming);
}

void AnnotationEditorModel::setNewGroupText(const QString &text)
{
    const bool could = canAddGroup();
    m_newGroupText = text;
    if (could != canAddGroup())
        emit presentationChanged();
}

bool AnnotationEditorModel::canAddGroup() const
{
    return trimmingWhitespaceAndNewlines(m_newGroupText) != ungroupedGroupName();
}

void AnnotationEditorModel::beginNewGroup()
{
    if (!selectionResolves())
        return;
    m_newGroupText.clear();
    m_addingGroup = true;
    emit presentationChanged();
}

void AnnotationEditorModel::commitNewGroup()
{
    if (!canAddGroup() || !dismiss(m_addingGroup))
        return;
    if (m_selection)
        m_edits->addGroup(*m_selection, m_newGroupText);
    else
        m_edits->save();
}

void AnnotationEditorModel::cancelNewGroup()
{
    dismiss(m_addingGroup);
}

void AnnotationEditorModel::beginEditingLinks()
{
    if (!selectionResolves() || m_editingLinks)
        return;
    m_editingLinks = true;
    emit presentationChanged();
}

QList<AnnotationLink> AnnotationEditorModel::selectedLinks() const
{
    std::optional<QList<AnnotationLink>> links;
    if (const PointAnnotation *point = selectedPoint())
        links = point->links();
    else if (const RegionAnnotation *region = selectedRegion())
        links = region->links();
    return links.value_or(QList<AnnotationLink>());
}

void AnnotationEditorModel::setSelectedLinks(const QList<AnnotationLink> &links)
{
    if (m_editingLinks && m_selection)
        m_edits->setLinks(*m_selection, links);
}

void AnnotationEditorModel::endEditingLinks()
{
    if (dismiss(m_editingLinks))
        m_edits->save();
}

void AnnotationEditorModel::dismissSaveError()
{
    if (!m_saveError)
        return;
    m_saveError.reset();
    emit saveErrorChanged();
}

bool AnnotationEditorModel::isEmptyCanvas() const
{
    return m_draft.isEmpty() && !m_selection && m_annotations->points().isEmpty()
        && m_annotations->regions().isEmpty();
}

void AnnotationEditorModel::finish()
{
    closeDialogs();
    m_edits->save();
}

void AnnotationEditorModel::annotationsChanged()
{
    // What the selection names is found again once the lists change; a
    // write to an annotation changes no list.
    if (!std::exchange(m_annotationWritten, false))
        m_resolved.reset();
    // An alert or sheet whose annotation has gone has nothing left to act on.
    if ((m_renaming || m_addingGroup || m_editingLinks) && !selectionResolves())
        closeDialogs();
}

bool AnnotationEditorModel::dismiss(bool &presented)
{
    if (!presented)
        return false;
    presented = false;
    emit presentationChanged();
    return true;
}

void AnnotationEditorModel::closeDialogs()
{
    cancelRename();
    cancelNewGroup();
    endEditingLinks();
}

void AnnotationEditorModel::showSaveError(const QString &message)
{
    if (m_saveError)
        return;
    m_saveError = message;
    emit saveErrorChanged();
}
