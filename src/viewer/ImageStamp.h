#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

// Lays `image` over `into`, its top-left pixel at `position`, pixel for
// pixel (the parts outside `into` left out): the pixels QPainter's
// drawImage gives there, without setting up a painter, for the thousands of
// small labels and markers an overlay lays each frame. Both images are
// premultiplied ARGB32; `into` may be a band of a larger image.
void stampImage(QImage &into, QPoint position, const QImage &image);
// The same on bare pixel rows (strides in pixels), for callers that lay
// many stamps and keep the images' pixels at hand.
void stampImage(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const quint32 *image,
                qsizetype imageStride, QSize imageSize);
// stampImage() of an image most of whose pixels are `common`
// (premultiplied), such as a capsule of one colour: the same pixels, those
// it holds many of laid with what depends on `common` worked out once.
void stampImage(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const quint32 *image,
                qsizetype imageStride, QSize imageSize, quint32 common);

// A white image (every pixel premultiplied (a, a, a, a), as text drawn in
// white or translucent white) kept as its alphas alone, a quarter of the
// bytes: the image of `image` when it is one (Format_Alpha8, its ratio
// kept), otherwise a null image.
QImage whiteAsAlphas(const QImage &image);
// stampImage() for such an image, given by its alphas (rows
// `alphaStride` bytes apart): the same pixels as laying the white image.
void stampWhite(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const uchar *alphas,
                qsizetype alphaStride, QSize imageSize);

// Lays `colour` (opaque, premultiplied) over `into` where it lets part of
// each pixel show through, as given by `through` (65535 for all, down to
// 0 for nothing; rows `throughStride` values apart), both `size`, each
// channel rounded once (see ShapeRaster::drawPolylineThrough()).
void layThrough(quint32 *into, qsizetype intoStride, QSize size, const quint16 *through, qsizetype throughStride,
                quint32 colour);
// layThrough() for one row of `count` pixels, laid over the pixels `under`
// and written to `into` (which may be `under`), a copy and the lines laid
// over it in one pass; `through` is left all 65535, ready for the next
// lines, having just been read.
void layThroughAndClear(quint32 *into, const quint32 *under, quint16 *through, int count, quint32 colour);
