#include "viewer/ZoomableImage.h"

#include "ui/AppStyle.h"
#include "ui/PaintedAccessible.h"
#include "viewer/CanvasOverlay.h"
#include "viewer/CanvasZoom.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomControls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QRegion>
#include <QWheelEvent>

#include <cmath>

namespace {

// A control the overlay draws, found by its place among the overlay's
// controls of the moment.
class OverlayControlAccessible final : public PaintedAccessible {
public:
    OverlayControlAccessible(ZoomableImage *viewer, int index) : PaintedAccessible(viewer), m_index(index) {}

    bool isValid() const override { return control().has_value(); }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(widget()); }
    QString text(QAccessible::Text kind) const override
    {
        const std::optional<OverlayControl> shown = control();
        return kind == QAccessible::Name && shown ? shown->name : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QRect area() const override
    {
        const std::optional<OverlayControl> shown = control();
        return shown ? shown->area.toAlignedRect() : QRect();
    }
    void press() override
    {
        if (const std::optional<OverlayControl> shown = control(); shown && shown->press)
            shown->press();
    }

private:
    std::optional<OverlayControl> control() const
    {
        auto *viewer = static_cast<ZoomableImage *>(widget());
        if (!viewer || !viewer->overlay())
            return std::nullopt;
        const QList<OverlayControl> controls = viewer->overlay()->controls(viewer->geometry());
        return m_index < controls.size() ? std::optional(controls[m_index]) : std::nullopt;
    }

    int m_index;
};

// The viewer is one accessible element, named for what it is, whose value
// says the zoom in whole steps. Its children are the widgets placed over
// it and, unless it is one element, its zoom bar and the controls its
// overlay draws.
class ZoomableImageAccessible : public QAccessibleWidget {
public:
    explicit ZoomableImageAccessible(ZoomableImage *viewer) : QAccessibleWidget(viewer, QAccessible::Graphic) {}
    ~ZoomableImageAccessible() override { PaintedAccessible::deleteAll(m_controls); }

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name:
            return ZoomableImage::tr("Atlas image viewer");
        case QAccessible::Value:
            return ZoomableImage::tr("Zoom %1 times").arg(std::llround(viewer()->geometry().transform.scale));
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    int childCount() const override { return int(widgetChildren().size() + overlayControls().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QAccessibleInterface *> widgets = widgetChildren();
        if (index < 0)
            return nullptr;
        if (index < widgets.size())
            return widgets[index];
        const qsizetype control = index - widgets.size();
        if (control >= overlayControls().size())
            return nullptr;
        while (m_controls.size() <= control) {
            auto *element = new OverlayControlAccessible(viewer(), int(m_controls.size()));
            m_controls.append(QAccessible::registerAccessibleInterface(element));
        }
        return QAccessible::accessibleInterface(m_controls[control]);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const QList<QAccessibleInterface *> widgets = widgetChildren();
        for (qsizetype control = 0; control < m_controls.size(); ++control) {
            if (QAccessible::accessibleInterface(m_controls[control]) == child)
                return control < overlayControls().size() ? int(widgets.size() + control) : -1;
        }
        return int(widgets.indexOf(child));
    }

private:
    ZoomableImage *viewer() const { return static_cast<ZoomableImage *>(widget()); }

    QList<QAccessibleInterface *> widgetChildren() const
    {
        QList<QAccessibleInterface *> children;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface *child = QAccessibleWidget::child(i);
            if (child && !(viewer()->isAccessibleAsOneElement() && child->object() == viewer()->controls()))
                children.append(child);
        }
        return children;
    }
    QList<OverlayControl> overlayControls() const
    {
        const ZoomableImage *shown = viewer();
        if (shown->isAccessibleAsOneElement() || !shown->overlay())
            return {};
        return shown->overlay()->controls(shown->geometry());
    }

    mutable QList<QAccessible::Id> m_controls;
};

QAccessibleInterface *accessibleViewer(const QString &className, QObject *object)
{
    if (className == QLatin1String("ZoomableImage") && object && object->isWidgetType())
        return new ZoomableImageAccessible(static_cast<ZoomableImage *>(object));
    return nullptr;
}

// One wheel notch (120 eighths of a degree) zooms by one button step.
constexpr double notch = 120;

} // namespace

ZoomableImage::ZoomableImage(QWidget *parent) : QWidget(parent)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleViewer);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_zoom = new CanvasZoom(this);
    m_controls = new ZoomControls(this);
    connect(m_controls->zoomOutAction(), &QAction::triggered, m_zoom, &CanvasZoom::zoomOut);
    connect(m_controls->resetAction(), &QAction::triggered, m_zoom, &CanvasZoom::reset);
    connect(m_controls->zoomInAction(), &QAction::triggered, m_zoom, &CanvasZoom::zoomIn);
    connect(m_zoom, &CanvasZoom::committedChanged, this, [this] { m_controls->setZoom(m_zoom->committed()); });
    connect(m_zoom, &CanvasZoom::transformChanged, this, &ZoomableImage::followZoom);

    connect(&m_frames, &FrameClock::ticked, this, &ZoomableImage::advanceAnimation);
    m_zoom->setViewportSize(size());
}

ZoomableImage::~ZoomableImage() = default;

void ZoomableImage::setPicture(PictureSource *picture)
{
    if (m_picture == picture)
        return;
    if (m_picture)
        disconnect(m_picture, nullptr, this, nullptr);
    m_picture = picture;
    if (picture)
        connect(picture, &PictureSource::changed, this, qOverload<>(&QWidget::update));
    update();
}

void ZoomableImage::setOverlay(CanvasOverlay *overlay)
{
    if (m_overlay == overlay)
        return;
    if (m_overlay) {
        if (m_press == Press::Overlay)
            m_overlay->pointerCancelled();
        disconnect(m_overlay, nullptr, this, nullptr);
    }
    if (m_press == Press::Overlay)
        m_press = Press::None;
    m_overlay = overlay;
    if (overlay) {
        connect(overlay, &CanvasOverlay::changed, this, qOverload<>(&QWidget::update));
        connect(overlay, &CanvasOverlay::areaChanged, this,
                [this](const QRectF &area) { update(area.toAlignedRect()); });
    }
    update();
}

void ZoomableImage::resetZoom()
{
    m_zoom->reset();
    // Also when the identity was committed already and is being glided to.
    m_animation.jumpTo(m_zoom->transform());
    m_frames.stop();
    update();
}

CanvasGeometry ZoomableImage::geometry() const
{
    const QSizeF pictureSize = m_picture ? QSizeF(m_picture->pixelSize()) : QSizeF();
    return {FittedImage(pictureSize, size()), m_animation.shown()};
}

bool ZoomableImage::isResting() const
{
    return !m_zoom->isPinching() && !m_zoom->isDragging() && m_animation.isSettled();
}

bool ZoomableImage::event(QEvent *event)
{
    if (event->type() != QEvent::NativeGesture)
        return QWidget::event(event);
    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_pinchMagnification = 1;
        break;
    case Qt::ZoomNativeGesture:
        m_pinchMagnification *= 1 + gesture->value();
        m_zoom->changePinch(m_pinchMagnification);
        break;
    case Qt::EndNativeGesture:
        m_zoom->endPinch();
        m_pinchMagnification = 1;
        break;
    default:
        return QWidget::event(event);
    }
    event->accept();
    return true;
}

QColor ZoomableImage::backdrop(const QPalette &palette)
{
    const QColor window = palette.window().color();
    return QColor::fromRgbF(window.redF() * 0.08f, window.greenF() * 0.08f, window.blueF() * 0.08f);
}

void ZoomableImage::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const CanvasGeometry canvas = geometry();
    const QColor backdrop = ZoomableImage::backdrop(palette());
    const bool resting = isResting();
    // While the picture moves, the overlay may draw it, with what it keeps
    // of it from frame to frame.
    const bool overlayDrawsPicture = m_overlay && m_picture && !m_picture->isNull()
        && m_overlay->drawsPicture(m_picture, backdrop, resting);
    if (m_overlay)
        m_overlay->prepare(canvas, devicePixelRatioF());
    if (overlayDrawsPicture) {
        painter.save();
        m_overlay->paint(painter, canvas);
        painter.restore();
        paintFocusRing(painter);
        return;
    }
    const QRectF pictureRect = m_picture && !m_picture->isNull() ? canvas.pictureRect() : QRectF();

    // An opaque picture covers its whole pixels, which need no backdrop
    // under them.
    QRegion backdropRegion(event->rect());
    if (m_picture && m_picture->isOpaque()) {
        backdropRegion -= QRect(QPoint(int(std::ceil(pictureRect.left())), int(std::ceil(pictureRect.top()))),
                                QPoint(int(std::floor(pictureRect.right())) - 1,
                                       int(std::floor(pictureRect.bottom())) - 1));
    }
    for (const QRect &part : backdropRegion)
        painter.fillRect(part, backdrop);

    if (m_picture)
        m_picture->paint(painter, pictureRect, event->rect(), resting);
    if (m_overlay) {
        painter.save();
        m_overlay->paint(painter, canvas);
        painter.restore();
    }
    paintFocusRing(painter);
}

void ZoomableImage::setShowsFocusRing(bool shows)
{
    if (shows == m_showsFocusRing)
        return;
    m_showsFocusRing = shows;
    update();
}

void ZoomableImage::paintFocusRing(QPainter &painter) const
{
    if (m_showsFocusRing && hasFocus())
        AppStyle::paintFocusRing(painter, rect(), 0, palette());
}

void ZoomableImage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_zoom->setViewportSize(size());
    placeControls();
}

void ZoomableImage::placeControls()
{
    constexpr int inset = 10;
    m_controls->adjustSize();
    const int x = layoutDirection() == Qt::RightToLeft ? inset : width() - m_controls->width() - inset;
    m_controls->move(x, inset);
}

void ZoomableImage::mousePressEvent(QMouseEvent *event)
{
    press(event, false);
}

void ZoomableImage::mouseDoubleClickEvent(QMouseEvent *event)
{
    press(event, true);
}

void ZoomableImage::press(QMouseEvent *event, bool secondClick)
{
    if (event->button() != Qt::LeftButton || m_press != Press::None) {
        event->ignore();
        return;
    }
    const QPointF position = event->position();
    m_pressPosition = position;
    m_pressMoved = false;
    m_secondClick = secondClick;
    m_press = m_overlay && m_overlay->pointerPressed(position, geometry()) ? Press::Overlay : Press::Pan;
    updateCursor(position);
}

void ZoomableImage::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF position = event->position();
    if (m_press != Press::None && !(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere: the press never finished.
        cancelGestures();
    }
    if (m_press == Press::None) {
        updateCursor(position);
        return;
    }
    if ((position - m_pressPosition).manhattanLength() >= QApplication::startDragDistance())
        m_pressMoved = true;
    if (m_press == Press::Overlay) {
        if (m_overlay)
            m_overlay->pointerMoved(position, geometry());
        return;
    }
    const QPointF translation = position - m_pressPosition;
    m_zoom->changeDrag({translation.x(), translation.y()});
}

void ZoomableImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_press == Press::None) {
        event->ignore();
        return;
    }
    const QPointF position = event->position();
    const Press press = m_press;
    m_press = Press::None;
    if (press == Press::Overlay) {
        if (m_overlay)
            m_overlay->pointerReleased(position, geometry());
    } else {
        const QPointF translation = position - m_pressPosition;
        m_zoom->changeDrag({translation.x(), translation.y()});
        m_zoom->endDrag();
    }
    if (!m_pressMoved && m_overlay)
        m_overlay->tapped(position, m_secondClick ? 2 : 1, geometry());
    updateCursor(position);
}

void ZoomableImage::wheelEvent(QWheelEvent *event)
{
    // Ctrl+wheel stands in for the pinch; the picture pans by dragging, so
    // a plain wheel is the surroundings'.
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    if (const int angle = event->angleDelta().y(); angle != 0)
        m_zoom->zoomBy(std::pow(ZoomPan::stepFactor, angle / notch));
    event->accept();
}

void ZoomableImage::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void ZoomableImage::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    cancelGestures();
    update();
}

void ZoomableImage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    cancelGestures();
}

void ZoomableImage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        cancelGestures();
    else if (event->type() == QEvent::LayoutDirectionChange)
        placeControls();
}

void ZoomableImage::cancelGestures()
{
    if (m_press == Press::Overlay && m_overlay)
        m_overlay->pointerCancelled();
    m_press = Press::None;
    m_pinchMagnification = 1;
    m_zoom->cancelGestures();
    unsetCursor();
}

void ZoomableImage::followZoom()
{
    // Every change glides there, a gesture's on each of its steps too: its
    // end commits where it was heading, so the glide just goes on.
    m_animation.animateTo(m_zoom->transform());
    if (!m_animation.isSettled())
        m_frames.start();
    update();
}

void ZoomableImage::advanceAnimation(double seconds)
{
    m_animation.advance(seconds);
    if (m_animation.isSettled())
        m_frames.stop();
    update();
}

void ZoomableImage::updateCursor(const QPointF &position)
{
    // The pointer keeps its arrow over the picture, zoomed or not, and
    // while a drag pans it; only a shape the overlay offers under it
    // changes it.
    if (m_press == Press::Pan)
        return;
    if (m_press == Press::None && m_overlay) {
        if (const auto shape = m_overlay->cursorAt(position, geometry())) {
            setCursor(*shape);
            return;
        }
    }
    unsetCursor();
}
