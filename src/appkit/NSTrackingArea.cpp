#include "appkit/NSTrackingArea.h"

#include <QEvent>
#include <QWidget>

NSTrackingArea::NSTrackingArea(QWidget &owner, Options options)
    : QObject(&owner), m_owner(&owner), m_options(options)
{
    owner.installEventFilter(this);
}

bool NSTrackingArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && m_options.testFlag(mouseEnteredAndExited)) {
        switch (event->type()) {
        case QEvent::Enter:
            setInside(m_options.testFlag(activeAlways) || m_owner->isActiveWindow());
            break;
        case QEvent::WindowDeactivate:
            if (!m_options.testFlag(activeAlways))
                setInside(false);
            break;
        case QEvent::Leave:
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
