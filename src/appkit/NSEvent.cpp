#include "appkit/NSEvent.h"

#include <QGuiApplication>
#include <QInputEvent>
#include <QMutex>

namespace {

QMutex sourceMutex;
NSEvent::ModifierSource &source()
{
    static NSEvent::ModifierSource current;
    return current;
}

} // namespace

Qt::KeyboardModifiers NSEvent::modifierFlags()
{
    NSEvent::ModifierSource current;
    {
        const QMutexLocker lock(&sourceMutex);
        current = source();
    }
    if (current)
        return current();
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return Qt::NoModifier;
    return QGuiApplication::queryKeyboardModifiers();
}

void NSEvent::setModifierSource(ModifierSource newSource)
{
    const QMutexLocker lock(&sourceMutex);
    source() = std::move(newSource);
}

bool NSEvent::shiftKeyIsDown(const QInputEvent &event)
{
    return event.modifiers().testFlag(Qt::ShiftModifier);
}

bool NSEvent::controlKeyIsDown(const QInputEvent &event)
{
    return event.modifiers().testFlag(Qt::MetaModifier);
}

bool NSEvent::optionKeyIsDown(const QInputEvent &event)
{
    return event.modifiers().testFlag(Qt::AltModifier);
}

bool NSEvent::commandKeyIsDown(const QInputEvent &event)
{
    return event.modifiers().testFlag(Qt::ControlModifier);
}
