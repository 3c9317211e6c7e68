#pragma once

#include "viewer/CanvasGeometry.h"
#include "viewer/ZoomPan.h"

#include <QObject>

// The zoom of one canvas while the user works it: the committed ZoomPan and
// the pinch and drag in progress, for the canvas's current viewport. A
// running gesture is only shown; it is committed when it ends and dropped
// when it is cancelled. Commands (buttons, keys, Ctrl+wheel) commit at once. The
// viewer and the editor canvas use it alike. GUI thread.
class CanvasZoom : public QObject {
    Q_OBJECT
public:
    explicit CanvasZoom(QObject *parent = nullptr);

    const ZoomPan &committed() const { return m_committed; }
    double magnification() const { return m_magnification; }
    QSizeF dragTranslation() const { return m_dragTranslation; }
    bool isPinching() const { return m_pinching; }
    bool isDragging() const { return m_dragging; }
    QSizeF viewportSize() const { return m_viewportSize; }
    // Limits and the shown zoom follow the new size; the committed offset
    // is not rewritten.
    void setViewportSize(const QSizeF &size);
    // The zoom in effect: the committed one with the gestures in progress.
    ZoomPanTransform transform() const;

    void zoomIn();
    void zoomOut();
    // Back to the identity (scale 1, no offset); also drops running gestures.
    void reset();
    // One wheel zoom: the committed scale times `factor`.
    void zoomBy(double factor);
    // The committed offset moved by `translation` at once, as a drag of
    // that length would leave it.
    void scroll(const QSizeF &translation);

    // The pinch in progress, `magnification` being its factor since it began.
    // A pinch begins once that factor is at least minimumPinchChange away
    // from 1; the changes before do nothing, and ending it commits nothing.
    void changePinch(double magnification);
    static constexpr double minimumPinchChange = 0.01;
    void endPinch();
    // The drag in progress, `translation` being its movement since it began.
    void changeDrag(const QSizeF &translation);
    void endDrag();
    // Focus or grab lost, or the canvas hidden: the gestures in progress end
    // and nothing is committed.
    void cancelGestures();

signals:
    // The committed zoom changed (the zoom buttons follow it).
    void committedChanged();
    // What is shown changed: committed zoom, a gesture or the viewport.
    void transformChanged();

private:
    // Stores a new committed zoom; false when it equals the old one.
    bool commit(const ZoomPan &zoom);

    ZoomPan m_committed;
    double m_magnification = 1;
    QSizeF m_dragTranslation{0, 0};
    bool m_pinching = false;
    bool m_dragging = false;
    QSizeF m_viewportSize{0, 0};
};
