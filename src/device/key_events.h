// What a key event of the keyboard asks for: the event decoded from its
// message, and the rules that turn it, and the function of a key, into an
// action. The main window carries the actions out.
#pragma once

#include "platform/types.h"

#include <cstdint>

namespace orv {

// Event codes in the low byte of a key event.
constexpr int KEV_SLOT = 0xDA;
constexpr int KEV_OPTION = 0xDB;
constexpr int KEV_LEVEL = 0xDC;
constexpr int KEV_EFFECT = 0xDF;
constexpr int KEV_CONTROL = 0xFE;

// A WM_HID_KEY_EVENT taken apart.
struct KeyEvent {
    int code;  // an event code or a matrix position (lParam bits 0..7)
    int flag;  // lParam bits 16..23: for keys, non-zero while pressed
    int value; // wParam bits 0..7: the event's value or the key's key code
};
KeyEvent DecodeKeyEvent(WParam wParam, LParam lParam);

// The first step a key event asks for.
enum class KeyEventStep {
    None,         // an event out of range: nothing at all
    LightEffect,  // value: the new Effect
    LightOption,  // value: the new EffectOption
    LightLevel,   // value: the new EffectLevel
    KeyboardSlot, // value: the keyboard's new slot; then the key code as for Key
    ControlSlot,  // value: the slot to select (may be outside 0..5)
    Key,          // the key code decides (RouteKeyCode)
};
struct KeyEventRule {
    KeyEventStep step;
    int value;
};
KeyEventRule ClassifyKeyEvent(const KeyEvent& event);

// What the key code of a key event leads to.
enum class KeyRoute {
    None,
    Dispatch,             // the function of the key at the event's position
    EndHeldOrDispatch,    // read the keyboard's slot; end a held function, or
                          // dispatch; then select the slot read
    AnnounceKeyboardSlot, // read the keyboard's slot, select and announce it
};
KeyRoute RouteKeyCode(int keyCode, bool pressed);

// The function a key code stands for: the last table row with that code
// (several functions share one code), or 0.
std::int32_t FunctionOfKeyCode(int keyCode);

// What the function assigned to a key does, pressed or released.
enum class KeyAction {
    None,
    Launch,               // start the key's program
    LaunchOncePerLock,    // the same, unless the launch lock is on; then lock
    AnnounceKeyboardSlot, // as KeyRoute::AnnounceKeyboardSlot
    Broadcast,            // the registered message with code and value
    HoldAndBroadcast,     // remember the function as held, then broadcast
};
struct KeyFunctionAction {
    KeyAction action;
    WParam code = 0;
    LParam value = 0;
};
KeyFunctionAction ActionOfKeyFunction(std::int32_t function, bool pressed);

} // namespace orv
