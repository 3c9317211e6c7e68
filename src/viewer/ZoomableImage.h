#pragma once

#include "viewer/CanvasGeometry.h"
#include "viewer/CanvasOverlay.h"
#include "ui/FrameClock.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomAnimation.h"

#include <QPointer>
#include <QWidget>

class CanvasZoom;
class QPainter;
class ZoomControls;

// A picture on a dark backdrop, fitted by aspect ratio and centred, that the
// user zooms from 1× to 8× and pans, with one overlay drawn over it in view
// coordinates and the zoom buttons in its top-trailing corner.
//
// Zoom: a touchpad pinch, Ctrl+wheel in its stead, the buttons and their
// shortcuts. Pan: dragging (presses the overlay does not take); a plain
// wheel is left to the surroundings.
// A drag or pinch is shown as it runs and committed when it ends, where it
// was heading; a gesture cancelled (focus or grab lost, the canvas hidden)
// commits nothing and the picture goes back. Every zoom change glides on
// the springs, each step of a gesture too, and the overlay follows the
// picture as it moves; while anything moves the picture is painted fast,
// and smooth once it rests. Only the committed zoom is kept, as view state
// of this widget: it starts at the identity and is never stored.
// While it has the keyboard focus, the focus ring runs inside its edges,
// unless its host switches the ring off.
class ZoomableImage : public QWidget {
    Q_OBJECT
public:
    explicit ZoomableImage(QWidget *parent = nullptr);
    ~ZoomableImage() override;

    // The picture shown; not owned (canvases showing the same image share
    // one). None shows the backdrop alone.
    void setPicture(PictureSource *picture);
    PictureSource *picture() const { return m_picture; }
    // The overlay drawn over the picture and offered the pointer; not owned.
    void setOverlay(CanvasOverlay *overlay);
    CanvasOverlay *overlay() const { return m_overlay; }

    // The committed zoom and the gestures in progress.
    CanvasZoom *zoom() const { return m_zoom; }
    ZoomControls *controls() const { return m_controls; }

    // Back to the identity at once, without gliding there: for a canvas
    // that starts afresh.
    void resetZoom();

    // The geometry of what is painted now (the zoom in effect, or on its way
    // there); the overlay is painted with the same.
    CanvasGeometry geometry() const;
    // No gesture runs and the zoom has come to rest.
    bool isResting() const;
    // The clock that beats the glide: tests step it frame by frame.
    FrameClock *frameClock() { return &m_frames; }

    // Whether the focus ring shows while the canvas has the focus (it does
    // unless switched off).
    void setShowsFocusRing(bool shows);
    bool showsFocusRing() const { return m_showsFocusRing; }

    QSize sizeHint() const override { return {640, 480}; }

    // Whether assistive technologies see the canvas as one element, the
    // viewer named for what it is with its zoom as value, whose own parts
    // (the zoom bar and the controls its overlay draws) are not exposed;
    // widgets that others place over the canvas stay its children. Off by
    // default: the parts are then its children too.
    void setAccessibleAsOneElement(bool one) { m_oneAccessibleElement = one; }
    bool isAccessibleAsOneElement() const { return m_oneAccessibleElement; }

    // The backdrop the picture lies on: black at 0.92 over the window's
    // colour.
    static QColor backdrop(const QPalette &palette);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Press { None, Pan, Overlay };

    void press(QMouseEvent *event, bool secondClick);
    void cancelGestures();
    void paintFocusRing(QPainter &painter) const;
    void followZoom();
    void advanceAnimation(double seconds);
    void updateCursor(const QPointF &position);
    void placeControls();

    QPointer<PictureSource> m_picture;
    QPointer<CanvasOverlay> m_overlay;
    CanvasZoom *m_zoom = nullptr;
    ZoomControls *m_controls = nullptr;

    ZoomAnimation m_animation;
    FrameClock m_frames;

    Press m_press = Press::None;
    QPointF m_pressPosition;
    bool m_pressMoved = false;
    bool m_secondClick = false;
    double m_pinchMagnification = 1;
    bool m_oneAccessibleElement = false;
    bool m_showsFocusRing = true;
};
