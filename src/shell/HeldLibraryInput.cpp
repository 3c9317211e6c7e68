#include "shell/HeldLibraryInput.h"

#include "platform/objectstore/ModelContext.h"

#include <QCoreApplication>
#include <QEvent>
#include <QCursor>
#include <QGuiApplication>

HeldLibraryInput::HeldLibraryInput(ModelContext &context, QObject *parent)
    : QObject(parent)
{
    connect(&context, &ModelContext::heldChanged, this, &HeldLibraryInput::setHeld);
    setHeld(context.isHeld());
}

HeldLibraryInput::~HeldLibraryInput()
{
    setHeld(false);
}

bool HeldLibraryInput::isInput(const QEvent &event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool HeldLibraryInput::eventFilter(QObject *watched, QEvent *event)
{
    if (m_held && isInput(*event))
        return true;
    return QObject::eventFilter(watched, event);
}

void HeldLibraryInput::setHeld(bool held)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (held == m_held || !application)
        return;
    m_held = held;
    const bool hasCursor = qobject_cast<QGuiApplication *>(application) != nullptr;
    if (held) {
        application->installEventFilter(this);
        if (hasCursor)
            QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    } else {
        application->removeEventFilter(this);
        if (hasCursor)
            QGuiApplication::restoreOverrideCursor();
    }
}
