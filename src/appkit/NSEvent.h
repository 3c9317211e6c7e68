#pragma once

#include <Qt>

#include <functional>

class QInputEvent;

// Modifier-key tests. Command is the Ctrl key and Option the Alt key, as
// a Linux keyboard has them; Control is the Meta (Super) key.
struct NSEvent {
    using ModifierSource = std::function<Qt::KeyboardModifiers()>;

    // The keyboard's modifier state at the moment of the call.
    static Qt::KeyboardModifiers modifierFlags();
    // Replaces where the state is read (the keyboard by default); an empty
    // source restores the keyboard.
    static void setModifierSource(ModifierSource source);

    static bool shiftKeyIsDown() { return modifierFlags().testFlag(Qt::ShiftModifier); }
    static bool controlKeyIsDown() { return modifierFlags().testFlag(Qt::MetaModifier); }
    static bool optionKeyIsDown() { return modifierFlags().testFlag(Qt::AltModifier); }
    static bool commandKeyIsDown() { return modifierFlags().testFlag(Qt::ControlModifier); }

    // The same tests on the modifiers an event carried.
    static bool shiftKeyIsDown(const QInputEvent &event);
    static bool controlKeyIsDown(const QInputEvent &event);
    static bool optionKeyIsDown(const QInputEvent &event);
    static bool commandKeyIsDown(const QInputEvent &event);
};
