#include "ui/PaintedAccessible.h"

#include <QWindow>

QWindow *PaintedAccessible::window() const
{
    return m_widget ? m_widget->window()->windowHandle() : nullptr;
}

QAccessibleInterface *PaintedAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface *element = child(i);
        if (element && element->rect().contains(x, y))
            return element;
    }
    return nullptr;
}

QRect PaintedAccessible::rect() const
{
    const QRect place = area();
    if (!m_widget || place.isEmpty())
        return {};
    return {m_widget->mapToGlobal(place.topLeft()), place.size()};
}

QAccessible::State PaintedAccessible::state() const
{
    QAccessible::State state;
    if (!m_widget || !m_widget->isVisible() || area().isEmpty())
        state.invisible = true;
    if (m_widget && !m_widget->isEnabled())
        state.disabled = true;
    return state;
}

void *PaintedAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
}

QStringList PaintedAccessible::actionNames() const
{
    return {pressAction()};
}

void PaintedAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction() && m_widget && m_widget->isEnabled())
        press();
}
