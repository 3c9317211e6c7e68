#include "viewer/AnnotationLayer.h"

#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/PictureSource.h"

#include <QPainter>
#include <QVariantAnimation>

AnnotationLayer::AnnotationLayer(ImageAnnotations *annotations, AnnotationViewState *state, QObject *parent)
    : CanvasOverlay(parent)
    , m_annotations(annotations)
    , m_state(state)
    , m_fade(new QVariantAnimation(this))
{
    if (annotations)
        connect(annotations, &ImageAnnotations::changed, this, &AnnotationLayer::invalidateScene);
    if (state) {
        connect(state, &AnnotationViewState::disabledGroupsChanged, this, &AnnotationLayer::invalidateScene);
        connect(state, &AnnotationViewState::highlightedIDChanged, this, &AnnotationLayer::invalidateFrame);
    }
    m_fade->setDuration(200);
    m_fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_opacity = value.toDouble();
        emit changed();
    });
}

AnnotationLayer::~AnnotationLayer() = default;

void AnnotationLayer::setShowAnnotations(bool show)
{
    if (show == m_showAnnotations)
        return;
    m_showAnnotations = show;
    m_fade->stop();
    m_fade->setStartValue(m_opacity);
    m_fade->setEndValue(show ? 1.0 : 0.0);
    m_fade->start();
    invalidateFrame();
}

void AnnotationLayer::setShowsCallouts(bool shows)
{
    if (shows == m_showsCallouts)
        return;
    m_showsCallouts = shows;
    invalidateFrame();
}

const AnnotationScene &AnnotationLayer::scene()
{
    if (!m_sceneValid) {
        const QSet<QString> disabled = m_state ? m_state->disabledGroups() : QSet<QString>();
        m_scene = m_annotations ? AnnotationScene(m_annotations->points(), m_annotations->regions(), disabled)
                                : AnnotationScene();
        m_sceneValid = true;
    }
    return m_scene;
}

const AnnotationFrame &AnnotationLayer::frame(const CanvasGeometry &geometry)
{
    if (!m_frameValid || m_frame.geometry != geometry) {
        const std::optional<QUuid> highlighted = m_state ? m_state->highlightedID() : std::nullopt;
        m_frame = makeAnnotationFrame(scene(), geometry, highlighted, m_showsCallouts, m_metrics, m_text);
        m_frameValid = true;
        m_drawnValid = false;
    }
    return m_frame;
}

AnnotationHit AnnotationLayer::hitAt(const QPointF &position, const CanvasGeometry &geometry)
{
    if (!m_showAnnotations)
        return {};
    return hitTest(frame(geometry), scene(), position, m_metrics);
}

bool AnnotationLayer::drawsPicture(const PictureSource *picture, const QColor &backdrop, bool smooth)
{
    // Annotations fading or hidden leave the picture to the canvas.
    const bool draws = !smooth && m_opacity >= 1 && AnnotationRenderer::canDrawUnder(picture);
    m_under = draws ? AnnotationRenderer::Underlay{picture, backdrop} : AnnotationRenderer::Underlay{};
    return draws;
}

void AnnotationLayer::prepare(const CanvasGeometry &geometry, qreal devicePixelRatio)
{
    // Hidden annotations are still drawn while they fade out.
    if (m_opacity <= 0)
        return;
    const AnnotationFrame &shown = frame(geometry);
    // The same frame again (another part of the canvas changed) is not
    // drawn anew, unless the picture under it changed.
    // (A new picture brings a new full size, levels arriving a new
    // smallest one.)
    const std::array<qint64, 3> under = m_under.source ? std::array<qint64, 3>{m_under.source->levels().constFirst().cacheKey(),
                                                                               m_under.source->levels().constLast().cacheKey(),
                                                                               qint64(m_under.backdrop.rgb())}
                                                       : std::array<qint64, 3>{};
    if (!m_drawnValid || devicePixelRatio != m_drawnRatio || under != m_drawnUnder) {
        m_renderer.start(shown, scene(), geometry.fitted.viewportSize.toSize(), devicePixelRatio, m_text, m_under);
        m_drawnValid = true;
        m_drawnRatio = devicePixelRatio;
        m_drawnUnder = under;
    }
}

void AnnotationLayer::paint(QPainter &painter, const CanvasGeometry &geometry)
{
    if (m_opacity <= 0)
        return;
    // Started in prepare() unless the canvas skipped it.
    prepare(geometry, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    const QImage &drawn = m_renderer.finish();
    if (m_under.source) {
        // The frame covers the view: its pixels are copied as they are.
        QImage opaque(drawn.constBits(), drawn.width(), drawn.height(), drawn.bytesPerLine(), QImage::Format_RGB32);
        opaque.setDevicePixelRatio(drawn.devicePixelRatio());
        painter.drawImage(QPointF(0, 0), opaque);
        // The canvas offers the picture again for its next paint.
        m_under = {};
        return;
    }
    painter.save();
    painter.setOpacity(painter.opacity() * m_opacity);
    painter.drawImage(QPointF(0, 0), drawn);
    painter.restore();
}

void AnnotationLayer::tapped(const QPointF &position, int count, const CanvasGeometry &geometry)
{
    const AnnotationHit hit = hitAt(position, geometry);
    switch (hit.part) {
    case AnnotationHit::Part::background:
        emit selectRequested(std::nullopt);
        break;
    case AnnotationHit::Part::linkButton:
        emit showLinksRequested(hit.id);
        break;
    case AnnotationHit::Part::label:
    case AnnotationHit::Part::mark:
        if (count >= 2)
            emit editRequested(hit.id);
        else
            emit selectRequested(hit.id);
        break;
    }
}

std::optional<Qt::CursorShape> AnnotationLayer::cursorAt(const QPointF &position, const CanvasGeometry &geometry) const
{
    // The frame is the one last painted, for the geometry shown.
    if (!m_showAnnotations || !m_frameValid || m_frame.geometry != geometry)
        return std::nullopt;
    for (qsizetype i = 0; i < m_frame.labels.size(); ++i) {
        const std::optional<QRectF> &button = m_frame.labels[i].linkButton;
        if (button && button->contains(position))
            return Qt::PointingHandCursor;
    }
    return std::nullopt;
}

QList<OverlayControl> AnnotationLayer::controls(const CanvasGeometry &geometry)
{
    QList<OverlayControl> controls;
    if (!m_showAnnotations)
        return controls;
    const AnnotationFrame &shown = frame(geometry);
    for (qsizetype i = 0; i < shown.labels.size(); ++i) {
        if (const std::optional<QRectF> &button = shown.labels[i].linkButton) {
            const AnnotationCallout &callout = shown.callouts[i];
            controls.append({showLinksButtonName(callout.label), *button,
                             [this, id = callout.id] { emit showLinksRequested(id); }});
        }
    }
    return controls;
}

void AnnotationLayer::invalidateScene()
{
    m_sceneValid = false;
    invalidateFrame();
}

void AnnotationLayer::invalidateFrame()
{
    m_frameValid = false;
    emit changed();
}
