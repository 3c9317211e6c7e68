#include "editor/AnnotationEdits.h"

#include "editor/RegionGeometry.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/SaveOrRollBack.h"
#include "platform/LocalizedText.h"
#include "platform/objectstore/ModelContext.h"

AnnotationEdits::AnnotationEdits(AtlasImage *image, QObject *parent)
    : QObject(parent)
    , m_image(image ? image->sharedFromThis<AtlasImage>() : nullptr)
{
}

AnnotationEdits::~AnnotationEdits() = default;

bool AnnotationEdits::isImageLive() const
{
    return context() != nullptr;
}

ModelContext *AnnotationEdits::context() const
{
    if (!m_image || m_image->isDeleted())
        return nullptr;
    return m_image->modelContext();
}

PointAnnotation *AnnotationEdits::point(const QUuid &id) const
{
    return isImageLive() ? findPoint(*m_image, id) : nullptr;
}

RegionAnnotation *AnnotationEdits::region(const QUuid &id) const
{
    return isImageLive() ? findRegion(*m_image, id) : nullptr;
}

template<class Write>
bool AnnotationEdits::onAnnotation(const EditorSelection &annotation, Write write)
{
    if (annotation.isPoint()) {
        if (PointAnnotation *found = point(annotation.id)) {
            write(*found);
            return true;
        }
    } else if (RegionAnnotation *found = region(annotation.id)) {
        write(*found);
        return true;
    }
    return false;
}

PointAnnotation *AnnotationEdits::createPoint(const QPointF &position)
{
    ModelContext *store = context();
    if (!store)
        return nullptr;
    const QPointF at = RegionGeometry::limitedToImage(position);
    PointAnnotation *point = store->insert(PointAnnotation::make({}, {}, QList<AnnotationLink>(), at.x(), at.y()));
    point->setImage(m_image.get());
    save();
    return point;
}

RegionAnnotation *AnnotationEdits::finishRegion(const QList<Vertex> &vertices)
{
    ModelContext *store = context();
    if (!store || vertices.size() < 3)
        return nullptr;
    RegionAnnotation *region = store->insert(RegionAnnotation::make({}, {}, QList<AnnotationLink>(), vertices));
    region->setImage(m_image.get());
    save();
    return region;
}

bool AnnotationEdits::movePoint(const QUuid &pointID, const QPointF &position)
{
    return placePoint(pointID, RegionGeometry::limitedToImage(position));
}

bool AnnotationEdits::moveVertex(const QUuid &regionID, int index, const QPointF &position)
{
    RegionAnnotation *found = region(regionID);
    if (!found)
        return false;
    QList<Vertex> vertices = found->vertices();
    if (index < 0 || index >= vertices.size())
        return false;
    const QPointF at = RegionGeometry::limitedToImage(position);
    vertices[index] = {at.x(), at.y()};
    found->setVertices(vertices);
    return true;
}

bool AnnotationEdits::moveRegion(const QUuid &regionID, const QList<Vertex> &baseline, const QPointF &delta)
{
    return !baseline.isEmpty() && placeVertices(regionID, RegionGeometry::translated(baseline, delta));
}

void AnnotationEdits::endDrag()
{
    save();
}

bool AnnotationEdits::placePoint(const QUuid &pointID, const QPointF &position)
{
    PointAnnotation *found = point(pointID);
    if (!found)
        return false;
    found->setX(position.x());
    found->setY(position.y());
    return true;
}

bool AnnotationEdits::placeVertices(const QUuid &regionID, const QList<Vertex> &vertices)
{
    RegionAnnotation *found = region(regionID);
    if (!found)
        return false;
    found->setVertices(vertices);
    return true;
}

std::optional<int> AnnotationEdits::insertVertex(const QUuid &regionID, int afterIndex)
{
    RegionAnnotation *found = region(regionID);
    if (!found)
        return std::nullopt;
    const std::optional<QList<Vertex>> vertices = RegionGeometry::insertingMidpoint(found->vertices(), afterIndex);
    if (!vertices)
        return std::nullopt;
    found->setVertices(*vertices);
    save();
    return afterIndex + 1;
}

bool AnnotationEdits::deleteVertex(const QUuid &regionID, int index)
{
    RegionAnnotation *found = region(regionID);
    if (!found)
        return false;
    const std::optional<QList<Vertex>> vertices = RegionGeometry::removingVertex(found->vertices(), index);
    if (!vertices)
        return false;
    found->setVertices(*vertices);
    save();
    return true;
}

void AnnotationEdits::deletePoint(const QUuid &pointID)
{
    if (PointAnnotation *found = point(pointID)) {
        context()->deleteObject(found);
        save();
    }
}

void AnnotationEdits::deleteRegion(const QUuid &regionID)
{
    if (RegionAnnotation *found = region(regionID)) {
        context()->deleteObject(found);
        save();
    }
}

void AnnotationEdits::rename(const EditorSelection &annotation, const QString &label)
{
    const QString trimmed = trimmingWhitespaceAndNewlines(label);
    onAnnotation(annotation, [&](auto &found) { found.setLabel(trimmed); });
    save();
}

void AnnotationEdits::addGroup(const EditorSelection &annotation, const QString &name)
{
    // "Ungrouped" stands for the annotations in no group; as a group of its
    // own it could never be switched off again.
    if (trimmingWhitespaceAndNewlines(name) != ungroupedGroupName())
        onAnnotation(annotation, [&](auto &found) { found.addGroup(name); });
    save();
}

void AnnotationEdits::setGroup(const EditorSelection &annotation, const QString &name, bool enabled)
{
    onAnnotation(annotation, [&](auto &found) {
        if (enabled)
            found.addGroup(name);
        else
            found.removeGroup(name);
    });
    save();
}

void AnnotationEdits::setLinks(const EditorSelection &annotation, const QList<AnnotationLink> &links)
{
    onAnnotation(annotation, [&](auto &found) { found.setLinks(links); });
}

bool AnnotationEdits::save()
{
    ModelContext *store = m_image ? m_image->modelContext() : nullptr;
    if (!store)
        return true;
    if (const std::optional<ModelStoreError> error = saveKeepingChanges(*store)) {
        emit saveFailed(error->description());
        return false;
    }
    return true;
}
