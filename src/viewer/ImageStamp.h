#pragma once

#include <QImage>
#include <QPoint>

// Lays `image` over `into`, its top-left pixel at `position`, pixel for
// pixel (the parts outside `into` left out): the pixels QPainter's
// drawImage gives there, without setting up a painter, for the thousands of
// small labels and markers an overlay lays each frame. Both images are
// premultiplied ARGB32; `into` may be a band of a larger image.
void stampImage(QImage &into, QPoint position, const QImage &image);
