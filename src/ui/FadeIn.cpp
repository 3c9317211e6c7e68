#include "ui/FadeIn.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

void fadeIn(QWidget *widget, int milliseconds)
{
    if (!widget->isVisible())
        return;
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(milliseconds);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    QObject::connect(fade, &QPropertyAnimation::finished, widget, [widget, effect] {
        if (widget->graphicsEffect() == effect)
            widget->setGraphicsEffect(nullptr);
    });
    fade->start();
}
