#include "ui/FocusRingOverlay.h"

#include "ui/AppStyle.h"

#include <QEvent>
#include <QPainter>

FocusRingOverlay::FocusRingOverlay(QWidget *target) : QWidget(target), m_target(target)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    target->installEventFilter(this);
}

bool FocusRingOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::FocusIn:
            setGeometry(m_target->rect());
            raise();
            show();
            break;
        case QEvent::FocusOut:
            hide();
            break;
        case QEvent::Resize:
            setGeometry(m_target->rect());
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRingOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    AppStyle::paintFocusRing(painter, rect(), 0, palette());
}
