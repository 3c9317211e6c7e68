#pragma once

#include "viewer/CanvasGeometry.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>

class PictureSource;
class QPainter;

// A control that an overlay draws (the link button of a callout), as the
// canvas offers it to assistive technologies: its accessible name, where it
// lies in view coordinates, and what pressing it does.
struct OverlayControl {
    QString name;
    QRectF area;
    std::function<void()> press;
};

// What a canvas draws over its picture, in view coordinates, and the pointer
// input it may take: the annotation layer of the viewer, the editing layers
// of the editor. Every call gets the geometry of the paint or event it
// belongs to, so marks are placed and pointer positions mapped with the
// same zoom the picture is shown at. GUI thread.
//
// Pointer input: a press goes to pointerPressed() first. An overlay that
// takes it gets the moves and the release, and the canvas does not pan;
// otherwise the press drags the picture. Either way, a press released
// without moving further than the desktop's drag distance is then also a
// tap (count 2 for the second press of a double click).
class CanvasOverlay : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Called as each paint of the canvas begins, before the picture is
    // drawn, with the geometry paint() will get: an overlay that takes long
    // to draw may start drawing here on worker threads and finish in
    // paint().
    virtual void prepare(const CanvasGeometry &geometry, qreal devicePixelRatio);
    // Asked as each paint begins, before prepare(): whether the overlay
    // draws the canvas's picture (on `backdrop`, which fills the rest of
    // the view) itself, under what it draws, in this paint; the canvas
    // then paints neither. `smooth` is whether the canvas would filter the
    // picture smoothly. No by default.
    virtual bool drawsPicture(const PictureSource *picture, const QColor &backdrop, bool smooth);
    virtual void paint(QPainter &painter, const CanvasGeometry &geometry) = 0;

    // True takes the press (and the moves and release that follow it).
    virtual bool pointerPressed(const QPointF &position, const CanvasGeometry &geometry);
    virtual void pointerMoved(const QPointF &position, const CanvasGeometry &geometry);
    virtual void pointerReleased(const QPointF &position, const CanvasGeometry &geometry);
    // The press it took ended without a release (grab or focus lost, window
    // deactivated, canvas hidden); no tap follows.
    virtual void pointerCancelled();
    virtual void tapped(const QPointF &position, int count, const CanvasGeometry &geometry);
    // The pointer shape over `position` while no button is held; none lets
    // the canvas choose.
    virtual std::optional<Qt::CursorShape> cursorAt(const QPointF &position, const CanvasGeometry &geometry) const;
    // The controls drawn with `geometry`, for assistive technologies; none
    // by default.
    virtual QList<OverlayControl> controls(const CanvasGeometry &geometry);

signals:
    // The overlay looks different: the canvas repaints.
    void changed();
    // Only `area` (view coordinates) of the overlay looks different: the
    // canvas repaints that part.
    void areaChanged(const QRectF &area);
};
