#pragma once

#include <QtGlobal>

#include <array>
#include <optional>

// Virtual key codes of the Mac keyboard, by the key's name.
enum class KeyNumbers : quint16 {
    r = 15,
    alpha1 = 18, // the digit keys of the main keyboard
    alpha2 = 19,
    alpha3 = 20,
    alpha4 = 21,
    return_ = 36,
    tab = 48,
    space = 49,
    leftShift = 56,
    leftOption = 58,
    leftControl = 59,
    rightShift = 60,
    rightOption = 61,
    rightControl = 62,
    enter = 76, // the keypad's Enter
    numeric1 = 83, // the keypad's digits
    numeric2 = 84,
    numeric3 = 85,
    numeric4 = 86,
    leftArrow = 123,
    rightArrow = 124,
    downArrow = 125,
    upArrow = 126,
};

inline constexpr std::array allKeyNumbers{
    KeyNumbers::r,          KeyNumbers::alpha1,      KeyNumbers::alpha2,       KeyNumbers::alpha3,
    KeyNumbers::alpha4,     KeyNumbers::return_,     KeyNumbers::tab,          KeyNumbers::space,
    KeyNumbers::leftShift,  KeyNumbers::leftOption,  KeyNumbers::leftControl,  KeyNumbers::rightShift,
    KeyNumbers::rightOption, KeyNumbers::rightControl, KeyNumbers::enter,      KeyNumbers::numeric1,
    KeyNumbers::numeric2,   KeyNumbers::numeric3,    KeyNumbers::numeric4,     KeyNumbers::leftArrow,
    KeyNumbers::rightArrow, KeyNumbers::downArrow,   KeyNumbers::upArrow,
};

// The key of `code`; none for a code that has no name here.
constexpr std::optional<KeyNumbers> keyNumbersFromRawValue(quint16 code)
{
    for (const KeyNumbers key : allKeyNumbers) {
        if (static_cast<quint16>(key) == code)
            return key;
    }
    return std::nullopt;
}

constexpr quint16 rawValue(KeyNumbers key)
{
    return static_cast<quint16>(key);
}
