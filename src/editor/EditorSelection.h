#pragma once

#include <QUuid>

#include <optional>

class AtlasImage;
class PointAnnotation;
class RegionAnnotation;

// What the editor has selected: one point, one region as a whole, or one
// corner of a region. Holds identifiers only, never the annotations: every
// reader resolves it against the image's current points and regions, so a
// selection whose annotation has gone resolves to nothing.
struct EditorSelection {
    enum class Kind { point, region, vertex };

    Kind kind = Kind::point;
    QUuid id;      // of the point, or of the region
    int index = 0; // of the corner; 0 for points and regions

    static EditorSelection point(const QUuid &id) { return {Kind::point, id, 0}; }
    static EditorSelection region(const QUuid &id) { return {Kind::region, id, 0}; }
    static EditorSelection vertex(const QUuid &regionID, int index) { return {Kind::vertex, regionID, index}; }

    bool isPoint() const { return kind == Kind::point; }
    // A region or one of its corners.
    bool namesRegion() const { return kind != Kind::point; }

    // The selection the editor starts with for the annotation highlighted
    // in the viewer: its point (points are searched first) or its region
    // as a whole; none without an id or when the image holds no such
    // annotation.
    static std::optional<EditorSelection> forAnnotation(const std::optional<QUuid> &id, const AtlasImage &image);

    friend bool operator==(const EditorSelection &, const EditorSelection &) = default;
};

// The first of the image's points or regions with that id, in stored
// order; null when there is none.
PointAnnotation *findPoint(const AtlasImage &image, const QUuid &id);
RegionAnnotation *findRegion(const AtlasImage &image, const QUuid &id);
