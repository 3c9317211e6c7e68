#include "ui/FadeIn.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

namespace {

// Fades `widget` to `to` from where a fade under way has got to (else from
// the other end); the last fade started wins. `hide` hides the widget when
// its fade ends.
void fade(QWidget *widget, double to, int milliseconds, bool hide)
{
    const auto *running = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect());
    const double from = running ? running->opacity() : 1 - to;
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(from);
    widget->setGraphicsEffect(effect);
    auto *animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setDuration(milliseconds);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(from);
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, widget, [widget, effect, hide] {
        if (widget->graphicsEffect() != effect)
            return;
        if (hide)
            widget->hide();
        widget->setGraphicsEffect(nullptr);
    });
    animation->start();
}

} // namespace

void fadeIn(QWidget *widget, int milliseconds)
{
    if (!widget->isVisible())
        return;
    fade(widget, 1, milliseconds, false);
}

void fadeOut(QWidget *widget, int milliseconds)
{
    if (!widget->isVisible()) {
        widget->hide();
        return;
    }
    fade(widget, 0, milliseconds, true);
}

QAbstractAnimation *runningFade(const QWidget *widget)
{
    const auto *effect = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect());
    return effect ? effect->findChild<QPropertyAnimation *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
