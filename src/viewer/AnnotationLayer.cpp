#include "viewer/AnnotationLayer.h"

#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/PictureSource.h"

#include <QPaintEngine>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

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
    // Annotations fading or hidden leave the picture to the canvas, which
    // lays them over it at the fade's opacity. (A fade out starts at full
    // opacity.)
    const bool fading = m_fade->state() != QAbstractAnimation::Stopped;
    const bool draws = !smooth && !fading && m_opacity >= 1 && AnnotationRenderer::canDrawUnder(picture);
    m_under = draws ? AnnotationRenderer::Underlay{picture, backdrop} : AnnotationRenderer::Underlay{};
    return draws;
}

void AnnotationLayer::prepare(const CanvasGeometry &geometry, qreal devicePixelRatio)
{
    // Hidden annotations are still drawn while they fade out. Over the
    // picture, the frame is drawn in paint(), where it may be drawn
    // straight into the painter's pixels.
    if (m_opacity <= 0 || m_under.source)
        return;
    const AnnotationFrame &shown = frame(geometry);
    // The same frame again (another part of the canvas changed) is not
    // drawn anew.
    if (!m_drawnValid || devicePixelRatio != m_drawnRatio) {
        m_renderer.start(shown, scene(), geometry.fitted.viewportSize.toSize(), devicePixelRatio, m_text);
        m_drawnValid = true;
        m_drawnRatio = devicePixelRatio;
    }
}

namespace {

// The pixels of the image `painter` paints on where its view's top-left
// pixel lies, when a frame of `deviceSize` can be drawn straight into them
// at `ratio`: the painter draws on a 32-bit image of its own, unclipped
// there, moved by whole pixels and scaled by the ratio alone. Null
// otherwise.
uchar *framePixels(QPainter &painter, const QSize &deviceSize, qreal ratio, qsizetype &bytesPerLine)
{
    QPaintEngine *engine = painter.paintEngine();
    QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping())
        return nullptr;
    auto *image = static_cast<QImage *>(device);
    if ((image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied)
        || !image->isDetached())
        return nullptr;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale || transform.m11() != ratio || transform.m22() != ratio
        || transform.dx() != std::round(transform.dx()) || transform.dy() != std::round(transform.dy()))
        return nullptr;
    const QRect frame(QPoint(int(transform.dx()), int(transform.dy())), deviceSize);
    const QRegion clip = engine->systemClip();
    if (!image->rect().contains(frame) || (!clip.isEmpty() && !(QRegion(frame) - clip).isEmpty()))
        return nullptr;
    bytesPerLine = image->bytesPerLine();
    return image->bits() + frame.top() * bytesPerLine + qsizetype(frame.left()) * 4;
}

} // namespace

void AnnotationLayer::paint(QPainter &painter, const CanvasGeometry &geometry)
{
    if (m_opacity <= 0)
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (m_under.source) {
        // Over the picture: the frame covers the view, and is drawn
        // straight into the painter's pixels where it can be.
        const AnnotationFrame &shown = frame(geometry);
        const QSize viewSize = geometry.fitted.viewportSize.toSize();
        const QSize deviceSize(int(std::ceil(viewSize.width() * ratio)), int(std::ceil(viewSize.height() * ratio)));
        AnnotationRenderer::Underlay under = m_under;
        under.into = framePixels(painter, deviceSize, ratio, under.bytesPerLine);
        m_renderer.start(shown, scene(), viewSize, ratio, m_text, under);
        const QImage &drawn = m_renderer.finish();
        if (!under.into) {
            QImage opaque(drawn.constBits(), drawn.width(), drawn.height(), drawn.bytesPerLine(),
                          QImage::Format_RGB32);
            opaque.setDevicePixelRatio(drawn.devicePixelRatio());
            painter.drawImage(QPointF(0, 0), opaque);
        }
        // The renderer's image no longer holds a frame of the overlay
        // alone; the canvas offers the picture again for its next paint.
        m_drawnValid = false;
        m_under = {};
        return;
    }
    // Started in prepare() unless the canvas skipped it.
    prepare(geometry, ratio);
    painter.save();
    painter.setOpacity(painter.opacity() * m_opacity);
    painter.drawImage(QPointF(0, 0), m_renderer.finish());
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
