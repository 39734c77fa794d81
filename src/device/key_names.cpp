#include "device/key_names.h"

#include "base/wstr.h"

namespace orv {

// clang-format off
const char16_t* const g_KeyNames[kKeyCount] = {
    // Row 0: keys 0..15.
    u"Esc", u"F1", u"F2", u"F3", u"F4", u"F5", u"F6", u"F7", u"F8", u"F9", u"F10", u"F11", u"F12",
    u"PrintScreen", u"ScrollLock", u"Pause",
    // Row 1: keys 16..36.
    u"Backquote", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"0", u"Minus", u"Equal",
    u"Backspace", u"Insert", u"Home", u"PageUp", u"NumLock", u"NumDivide", u"NumMultiply",
    u"NumMinus",
    // Row 2: keys 37..57.
    u"Tab", u"Q", u"W", u"E", u"R", u"T", u"Y", u"U", u"I", u"O", u"P", u"LeftBracket",
    u"RightBracket", u"Backslash", u"Delete", u"End", u"PageDown", u"Num7", u"Num8", u"Num9",
    u"NumPlus",
    // Row 3: keys 58..73.
    u"CapsLock", u"A", u"S", u"D", u"F", u"G", u"H", u"J", u"K", u"L", u"Semicolon", u"Quote",
    u"Enter", u"Num4", u"Num5", u"Num6",
    // Row 4: keys 74..90.
    u"LeftShift", u"Z", u"X", u"C", u"V", u"B", u"N", u"M", u"Comma", u"Period", u"Slash",
    u"RightShift", u"Up", u"Num1", u"Num2", u"Num3", u"NumEnter",
    // Row 5: keys 91..103.
    u"LeftCtrl", u"LeftWin", u"LeftAlt", u"Space", u"RightAlt", u"Fn", u"Menu", u"RightCtrl",
    u"Left", u"Down", u"Right", u"Num0", u"NumDecimal",
    // Keys 104..110, the keys of other layouts and the positions without a key code.
    u"NonUsHash", u"NonUsBackslash", u"Intl1", u"NumComma", u"Extra1", u"Extra2", u"Extra3",
};
// clang-format on

int FindKeyByName(std::u16string_view name) {
    for (int i = 0; i < kKeyCount; ++i) {
        if (EqualsNoCase(name, g_KeyNames[i]))
            return i;
    }
    return -1;
}

} // namespace orv
