#pragma once

#include "model/Vertex.h"
#include "viewer/CanvasGeometry.h"

#include <QList>
#include <QPointF>

#include <optional>

// The middle of one edge of a region, where a corner can be inserted: the
// edge runs from corner `afterIndex` to the next one (the last edge back to
// corner 0).
struct EdgeMidpoint {
    int afterIndex = 0;
    Vertex vertex;

    friend bool operator==(const EdgeMidpoint &, const EdgeMidpoint &) = default;
};

// The pure rules behind the editor's reshaping of regions, on corner lists
// in unit image coordinates.
namespace RegionGeometry {

// One midpoint per edge, the closing edge included; none below 3 corners.
QList<EdgeMidpoint> edgeMidpoints(const QList<Vertex> &vertices);

// The corners with a new one in the middle of the edge after `afterIndex`;
// none below 2 corners or for an index outside the list.
std::optional<QList<Vertex>> insertingMidpoint(const QList<Vertex> &vertices, int afterIndex);

// Whether the corner at `index` can go: it is one of the list's, and at
// least 3 would be left.
bool canRemoveVertex(const QList<Vertex> &vertices, int index);
// The corners without the one at `index`; none when it cannot go.
std::optional<QList<Vertex>> removingVertex(const QList<Vertex> &vertices, int index);

// `baseline` moved rigidly by `delta`, each axis stopped where the shape
// meets the image's edge (no movement on an axis where the shape is wider
// than the image).
QList<Vertex> translated(const QList<Vertex> &baseline, const QPointF &delta);

// A movement of the pointer in view points as a movement in unit image
// coordinates at the zoom in effect; none when the picture has no area or
// the zoom is not positive.
QPointF unitTranslation(const QPointF &viewTranslation, const CanvasGeometry &geometry);

// A unit coordinate limited to the image (0 to 1).
QPointF limitedToImage(const QPointF &point);

} // namespace RegionGeometry
