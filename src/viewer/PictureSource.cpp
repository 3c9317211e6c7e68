#include "viewer/PictureSource.h"

#include "platform/WorkerPools.h"

#include <QFutureWatcher>
#include <QPaintDevice>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

// One row of a halved level: each output pixel the rounded mean of two
// pixels of `upper` and the two below them in `lower`, channel by channel.
template <int Bytes> void halveRow(const uchar *upper, const uchar *lower, uchar *out, int pairs)
{
    for (int p = 0; p < pairs; ++p) {
        const uchar *u = upper + p * 2 * Bytes;
        const uchar *l = lower + p * 2 * Bytes;
        for (int c = 0; c < Bytes; ++c)
            out[p * Bytes + c] = uchar((u[c] + u[c + Bytes] + l[c] + l[c + Bytes] + 2) >> 2);
    }
}

} // namespace

PictureSource::PictureSource(QObject *parent) : QObject(parent) {}

PictureSource::~PictureSource()
{
    if (m_cancelBuild)
        m_cancelBuild->store(true);
}

void PictureSource::releaseLevels()
{
    if (m_cancelBuild)
        m_cancelBuild->store(true);
    delete m_build;
    m_build = nullptr;
    m_cancelBuild.reset();
    qsizetype bytes = 0;
    for (const QImage &level : std::as_const(m_levels))
        bytes += level.sizeInBytes();
    constexpr qsizetype largePicture = 32 * 1024 * 1024;
    if (bytes >= largePicture)
        WorkerPools::computing().start([levels = std::move(m_levels)]() mutable { levels.clear(); });
    m_levels.clear();
}

void PictureSource::setLevels(QList<QImage> levels)
{
    releaseLevels();
    m_levels = std::move(levels);
    emit changed();
}

void PictureSource::setPixelSize(const QSize &size)
{
    if (size == m_pixelSize)
        return;
    m_pixelSize = size;
    emit changed();
}

void PictureSource::setImage(const QImage &image)
{
    releaseLevels();
    m_pixelSize = QSize();

    if (!image.isNull()) {
        m_levels = {image};
        auto cancelled = std::make_shared<std::atomic_bool>(false);
        m_cancelBuild = cancelled;
        m_build = new QFutureWatcher<QList<QImage>>(this);
        QFutureWatcher<QList<QImage>> *build = m_build;
        connect(build, &QFutureWatcher<QList<QImage>>::finished, this, [this, build] {
            if (build != m_build)
                return;
            m_levels = build->result();
            m_build = nullptr;
            m_cancelBuild.reset();
            build->deleteLater();
            emit changed();
        });
        build->setFuture(QtConcurrent::run(&WorkerPools::decoding(), [image, cancelled] { return buildLevels(image, *cancelled); }));
    }
    emit changed();
}

QSize PictureSource::size() const
{
    return isNull() ? QSize() : m_levels.first().size();
}

qsizetype PictureSource::levelIndex(double scale) const
{
    if (isNull())
        return -1;
    const double fullWidth = m_levels.first().width();
    const double fullHeight = m_levels.first().height();
    qsizetype index = 0;
    // A level serves while it has at least as many pixels on each axis as
    // the screen shows (a little rounding allowed).
    while (index + 1 < m_levels.size()) {
        const QImage &next = m_levels[index + 1];
        if (next.width() < fullWidth * scale * 0.999 || next.height() < fullHeight * scale * 0.999)
            break;
        ++index;
    }
    return index;
}

void PictureSource::paint(QPainter &painter, const QRectF &target, const QRectF &visible, bool smooth) const
{
    if (isNull() || target.isEmpty())
        return;
    const QRectF shown = target.intersected(visible);
    if (shown.isEmpty())
        return;
    const double devicePixelRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage &level = m_levels[levelIndex(target.width() * devicePixelRatio / size().width())];

    // The level's pixels under the shown part, one more on each side so
    // that filtering at the cut has its neighbours, and where they land.
    const double xScale = target.width() / level.width();
    const double yScale = target.height() / level.height();
    const int left = std::max(0, int(std::floor((shown.left() - target.left()) / xScale)) - 1);
    const int top = std::max(0, int(std::floor((shown.top() - target.top()) / yScale)) - 1);
    const int right = std::min(level.width(), int(std::ceil((shown.right() - target.left()) / xScale)) + 1);
    const int bottom = std::min(level.height(), int(std::ceil((shown.bottom() - target.top()) / yScale)) + 1);
    if (right <= left || bottom <= top)
        return;
    const QRectF source(left, top, right - left, bottom - top);
    const QRectF destination(target.left() + left * xScale, target.top() + top * yScale, source.width() * xScale,
                             source.height() * yScale);

    painter.save();
    painter.setClipRect(shown, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.drawImage(destination, level, source);
    painter.restore();
}

QImage PictureSource::halved(const QImage &image, const std::atomic_bool *cancelled)
{
    const int width = image.width(), height = image.height();
    QImage half((width + 1) / 2, (height + 1) / 2, image.format());
    if (half.isNull())
        return half;
    const int bytes = image.depth() / 8;
    const int pairs = width / 2; // output columns made of two source columns
    for (int y = 0; y < half.height(); ++y) {
        if (cancelled && y % 256 == 0 && cancelled->load())
            return {};
        const uchar *upper = image.constScanLine(2 * y);
        const uchar *lower = image.constScanLine(std::min(2 * y + 1, height - 1));
        uchar *out = half.scanLine(y);
        if (bytes == 4)
            halveRow<4>(upper, lower, out, pairs);
        else
            halveRow<1>(upper, lower, out, pairs);
        if (width % 2) {
            const int x = (width - 1) * bytes;
            for (int c = 0; c < bytes; ++c)
                out[pairs * bytes + c] = uchar((upper[x + c] + lower[x + c] + 1) >> 1);
        }
    }
    return half;
}

QImage PictureSource::paintable(QImage image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_Grayscale8:
        return image;
    case QImage::Format_Grayscale16:
        return std::move(image).convertToFormat(QImage::Format_Grayscale8);
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (image.isGrayscale() && !image.hasAlphaChannel())
            return std::move(image).convertToFormat(QImage::Format_Grayscale8);
        break;
    default:
        break;
    }
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return std::move(image).convertToFormat(format);
}

QList<QImage> PictureSource::buildLevels(QImage image, const std::atomic_bool &cancelled)
{
    QList<QImage> levels{paintable(std::move(image))};
    while (!cancelled.load() && std::max(levels.last().width(), levels.last().height()) > smallestSide) {
        QImage next = halved(levels.last(), &cancelled);
        if (next.isNull())
            break;
        levels.append(std::move(next));
    }
    return levels;
}
