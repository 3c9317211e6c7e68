#pragma once

#include "editor/EditorSelection.h"
#include "model/AnnotationLink.h"
#include "model/Vertex.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class AtlasImage;
class ModelContext;
class PointAnnotation;
class RegionAnnotation;

// Every change the editor makes to the annotations of one image: the only
// code of the editor that writes them. Each edit ends in a save of the
// image's context, except the moves of a drag (written on every pointer
// move and saved once by endDrag()) and the links typed in the links sheet
// (saved when it closes).
//
// An edit writes nothing when the image has left the library meanwhile, or
// the annotation it names is no longer one of the image's, so no
// annotation is ever left without its image. A failed save keeps the
// changes in the context, where the next save writes them again, and is
// reported through saveFailed(). Coordinates are unit image coordinates.
// GUI thread.
class AnnotationEdits : public QObject {
    Q_OBJECT
public:
    explicit AnnotationEdits(AtlasImage *image, QObject *parent = nullptr);
    ~AnnotationEdits() override;

    AtlasImage *image() const { return m_image.get(); }
    // Whether the image is still in the library; edits write only then.
    bool isImageLive() const;

    // A new point there, unlabelled and in no group; null when nothing was
    // added.
    PointAnnotation *createPoint(const QPointF &position);
    // A new region of these corners (at least 3); null when nothing was
    // added.
    RegionAnnotation *finishRegion(const QList<Vertex> &vertices);

    // Moves while a drag runs; false when nothing was written.
    bool movePoint(const QUuid &pointID, const QPointF &position);
    bool moveVertex(const QUuid &regionID, int index, const QPointF &position);
    // The region's corners set to `baseline` moved by `delta` (stopped at
    // the image's edges).
    bool moveRegion(const QUuid &regionID, const QList<Vertex> &baseline, const QPointF &delta);
    // The end of a drag, released or given up: its moves are saved.
    void endDrag();

    // A corner inserted in the middle of the edge after `afterIndex`: its
    // index, or none when nothing was inserted.
    std::optional<int> insertVertex(const QUuid &regionID, int afterIndex);
    // Removes a corner of a region of at least 4; false when nothing was
    // removed.
    bool deleteVertex(const QUuid &regionID, int index);
    void deletePoint(const QUuid &pointID);
    void deleteRegion(const QUuid &regionID);

    // On the annotation a selection names (a corner's region for a corner).
    void rename(const EditorSelection &annotation, const QString &label);
    void addGroup(const EditorSelection &annotation, const QString &name);
    void setGroup(const EditorSelection &annotation, const QString &name, bool enabled);
    // Written at once, saved by save() when the links sheet closes.
    void setLinks(const EditorSelection &annotation, const QList<AnnotationLink> &links);

    // Saves the context (what is pending from any earlier failed save
    // included); false when it failed.
    bool save();

signals:
    // A save failed; `message` is the store's description of the error.
    void saveFailed(const QString &message);

private:
    ModelContext *context() const;
    PointAnnotation *point(const QUuid &id) const;
    RegionAnnotation *region(const QUuid &id) const;
    // The point, or the region's corners, written exactly as given; false
    // when nothing was written.
    bool placePoint(const QUuid &pointID, const QPointF &position);
    bool placeVertices(const QUuid &regionID, const QList<Vertex> &vertices);
    // Runs `write` on the point or region the selection names, if it is
    // still one of the image's.
    template<class Write>
    bool onAnnotation(const EditorSelection &annotation, Write write);

    std::shared_ptr<AtlasImage> m_image;
};
