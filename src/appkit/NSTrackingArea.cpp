#include "appkit/NSTrackingArea.h"

#include <QEvent>
#include <QWidget>

NSTrackingArea::NSTrackingArea(QWidget &owner) : QObject(&owner), m_owner(&owner)
{
    owner.installEventFilter(this);
}

bool NSTrackingArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner) {
        switch (event->type()) {
        case QEvent::Enter:
            setInside(m_owner->isActiveWindow());
            break;
        case QEvent::Leave:
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
            setInside(false);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void NSTrackingArea::setInside(bool inside)
{
    if (inside == m_inside)
        return;
    m_inside = inside;
    if (inside)
        emit mouseEntered();
    else
        emit mouseExited();
}
