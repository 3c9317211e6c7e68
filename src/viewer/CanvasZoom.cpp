#include "viewer/CanvasZoom.h"

#include <cmath>

CanvasZoom::CanvasZoom(QObject *parent) : QObject(parent) {}

void CanvasZoom::setViewportSize(const QSizeF &size)
{
    if (size == m_viewportSize)
        return;
    m_viewportSize = size;
    emit transformChanged();
}

ZoomPanTransform CanvasZoom::transform() const
{
    const double scale = m_committed.shownScale(m_magnification);
    return {scale, m_committed.clampedOffset(m_dragTranslation, scale, m_viewportSize), m_viewportSize};
}

void CanvasZoom::zoomIn()
{
    ZoomPan zoom = m_committed;
    zoom.zoomIn(m_viewportSize);
    commit(zoom);
}

void CanvasZoom::zoomOut()
{
    ZoomPan zoom = m_committed;
    zoom.zoomOut(m_viewportSize);
    commit(zoom);
}

void CanvasZoom::reset()
{
    cancelGestures();
    commit(ZoomPan());
}

void CanvasZoom::zoomBy(double factor)
{
    ZoomPan zoom = m_committed;
    zoom.setScale(zoom.scale * factor, m_viewportSize);
    commit(zoom);
}

void CanvasZoom::scroll(const QSizeF &translation)
{
    ZoomPan zoom = m_committed;
    zoom.pan(translation, m_viewportSize);
    commit(zoom);
}

void CanvasZoom::changePinch(double magnification)
{
    // Until it has changed the scale by a hundredth, a pinch is no pinch
    // (a hand resting on the touchpad); from then on it is followed.
    if (!m_pinching && std::abs(magnification - 1) < minimumPinchChange)
        return;
    m_pinching = true;
    m_magnification = magnification;
    emit transformChanged();
}

void CanvasZoom::endPinch()
{
    if (!m_pinching)
        return;
    ZoomPan zoom = m_committed;
    zoom.setScale(zoom.scale * m_magnification, m_viewportSize);
    m_pinching = false;
    m_magnification = 1;
    if (!commit(zoom))
        emit transformChanged();
}

void CanvasZoom::changeDrag(const QSizeF &translation)
{
    m_dragging = true;
    m_dragTranslation = translation;
    emit transformChanged();
}

void CanvasZoom::endDrag()
{
    if (!m_dragging)
        return;
    ZoomPan zoom = m_committed;
    zoom.pan(m_dragTranslation, m_viewportSize);
    m_dragging = false;
    m_dragTranslation = {0, 0};
    if (!commit(zoom))
        emit transformChanged();
}

void CanvasZoom::cancelGestures()
{
    if (!m_pinching && !m_dragging)
        return;
    m_pinching = m_dragging = false;
    m_magnification = 1;
    m_dragTranslation = {0, 0};
    emit transformChanged();
}

bool CanvasZoom::commit(const ZoomPan &zoom)
{
    if (zoom == m_committed)
        return false;
    m_committed = zoom;
    emit committedChanged();
    emit transformChanged();
    return true;
}
