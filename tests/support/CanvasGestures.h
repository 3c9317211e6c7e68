#pragma once

#include "ui/FrameClock.h"
#include "viewer/ZoomableImage.h"

#include <QApplication>
#include <QNativeGestureEvent>
#include <QPointingDevice>

// One step of a touchpad pinch on `canvas`, at `at`: `value` is the
// scale's change since the last step (0.5 for half as large again).
inline void sendPinch(QWidget *canvas, Qt::NativeGestureType type, double value = 0, QPointF at = {400, 300})
{
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, at, at, canvas->mapToGlobal(at),
                              value, QPointF());
    QApplication::sendEvent(canvas, &event);
}

// Steps the canvas's frames until its zoom has come to rest, a second at
// most; whether it has.
inline bool settleZoom(ZoomableImage *canvas)
{
    for (int frame = 0; frame < 60 && !canvas->isResting(); ++frame)
        canvas->frameClock()->step(1 / 60.0);
    return canvas->isResting();
}
