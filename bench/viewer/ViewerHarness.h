#pragma once

// Viewers set up for the benchmarks and previews of this folder: a picture
// with its levels built and a canvas on screen, and the annotation display
// of one image over it.

#include "viewer/AnnotationLayer.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QApplication>
#include <QWindow>

class AtlasImage;

// Handles events until `done()` holds.
template<class Done>
void processEventsUntil(const Done &done)
{
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Shows `image` in `source` and waits until all its levels are built.
inline void buildPicture(PictureSource &source, const QImage &image)
{
    source.setImage(image);
    processEventsUntil([&] { return source.isComplete(); });
}

// Shows the canvas at `size`, with its picture and overlay, and waits until
// its window is on screen.
inline void showViewer(ZoomableImage &viewer, PictureSource *picture, CanvasOverlay *overlay, QSize size)
{
    viewer.setPicture(picture);
    viewer.setOverlay(overlay);
    viewer.resize(size);
    viewer.show();
    processEventsUntil([&] { return viewer.windowHandle() && viewer.windowHandle()->isExposed(); });
}

// The canvas's glide one frame (a sixtieth of a second) on, as its clock
// would move it between two frames of a gesture.
inline void nextFrame(ZoomableImage &viewer)
{
    viewer.frameClock()->step(1 / 60.0);
}

// Waits until the canvas's zoom has come to rest.
inline void settle(const ZoomableImage &viewer)
{
    processEventsUntil([&] { return viewer.isResting(); });
}

// The annotations of `image` over `picture` in a viewer of `size`, as the
// image screen composes them.
struct AnnotatedViewer {
    ImageAnnotations annotations;
    AnnotationViewState state;
    PictureSource source;
    ZoomableImage viewer;
    AnnotationLayer layer{&annotations, &state};

    AnnotatedViewer(AtlasImage *image, const QImage &picture, QSize size)
    {
        annotations.setImage(image);
        buildPicture(source, picture);
        showViewer(viewer, &source, &layer, size);
    }
};
