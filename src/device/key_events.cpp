// The rules of the keyboard's key events: which events change the lighting
// or the slot, which key codes run a key's function, and what each function
// does.
#include "device/key_events.h"

#include "device/key_tables.h"
#include "messaging/messages.h"

namespace orv {

namespace {

// Key functions, by their function codes.
constexpr std::int32_t kFunctionLaunch = 223;
constexpr std::int32_t kFunctionLaunchLocked = 384;
constexpr std::int32_t kFirstKeyboardSlotFunction = 257; // ..259 by function, ..260 by key code
constexpr std::int32_t kLastKeyboardSlotFunction = 259;
constexpr std::int32_t kLastKeyboardSlotKeyCode = 260;
constexpr std::int32_t kFirstPickSlotFunction = 263; // ..268
constexpr std::int32_t kFirstHeldWhilePressed = 289; // ..291
constexpr std::int32_t kFirstSlotReadingKeyCode = 323;
constexpr std::int32_t kFirstHeldFunction = 353; // ..355, ended by the next event
constexpr std::int32_t kFunctionHoldKey = 400;
constexpr std::int32_t kFirstModeFunction = 401; // ..407

bool InRange(std::int32_t f, std::int32_t first, std::int32_t last) {
    return f >= first && f <= last;
}

KeyFunctionAction Broadcast(WParam code, LParam value) {
    return {KeyAction::Broadcast, code, value};
}

} // namespace

KeyEvent DecodeKeyEvent(WParam wParam, LParam lParam) {
    return {static_cast<int>(lParam & 0xFF), static_cast<int>((lParam >> 16) & 0xFF),
            static_cast<int>(wParam & 0xFF)};
}

KeyEventRule ClassifyKeyEvent(const KeyEvent& event) {
    const int v = event.value;
    switch (event.code) {
    case KEV_EFFECT:
        return v <= 9 ? KeyEventRule{KeyEventStep::LightEffect, v}
                      : KeyEventRule{KeyEventStep::None, 0};
    case KEV_OPTION:
        return v <= 1 ? KeyEventRule{KeyEventStep::LightOption, v}
                      : KeyEventRule{KeyEventStep::None, 0};
    case KEV_LEVEL:
        return v <= 4 ? KeyEventRule{KeyEventStep::LightLevel, v + 1}
                      : KeyEventRule{KeyEventStep::None, 0};
    case KEV_SLOT:
        return {KeyEventStep::KeyboardSlot, v == 6 ? 0 : v}; // the keyboard may send 6 for slot 0
    case KEV_CONTROL:
        return event.flag == 4 ? KeyEventRule{KeyEventStep::ControlSlot, v - 1}
                               : KeyEventRule{KeyEventStep::None, 0};
    default:
        return {KeyEventStep::Key, v};
    }
}

std::int32_t FunctionOfKeyCode(int keyCode) {
    std::int32_t function = 0;
    for (const DEVICE_KEY_CODE& row : g_DeviceKeyCodes) {
        if (row.KeyCode == keyCode)
            function = row.FunctionCode;
    }
    return function;
}

KeyRoute RouteKeyCode(int keyCode, bool pressed) {
    const std::int32_t function = FunctionOfKeyCode(keyCode);
    if (function == 0 || function == kFunctionLaunchLocked)
        return KeyRoute::Dispatch;
    if (function >= kFirstSlotReadingKeyCode)
        return KeyRoute::EndHeldOrDispatch;
    if (pressed && InRange(function, kFirstKeyboardSlotFunction, kLastKeyboardSlotKeyCode))
        return KeyRoute::AnnounceKeyboardSlot;
    return KeyRoute::None;
}

KeyFunctionAction ActionOfKeyFunction(std::int32_t f, bool pressed) {
    if (f == kFunctionLaunch)
        return {pressed ? KeyAction::Launch : KeyAction::None};
    if (InRange(f, kFirstKeyboardSlotFunction, kLastKeyboardSlotFunction))
        return {pressed ? KeyAction::AnnounceKeyboardSlot : KeyAction::None};
    if (InRange(f, kFirstPickSlotFunction, kFirstPickSlotFunction + 5))
        return pressed ? Broadcast(kSyncPickSlot, f - kFirstPickSlotFunction)
                       : KeyFunctionAction{KeyAction::None};
    if (InRange(f, kFirstHeldWhilePressed, kFirstHeldWhilePressed + 2))
        return Broadcast(kSyncHeldFunction, pressed ? f - kFirstHeldWhilePressed : -1);
    if (InRange(f, kFirstHeldFunction, kFirstHeldFunction + 2))
        return {KeyAction::HoldAndBroadcast, kSyncHeldFunction, f - kFirstHeldFunction};
    if (f == kFunctionLaunchLocked)
        return {pressed ? KeyAction::LaunchOncePerLock : KeyAction::None};
    if (f == kFunctionHoldKey)
        return Broadcast(kSyncHoldKey, pressed ? 1 : 0);
    if (InRange(f, kFirstModeFunction, kFirstModeFunction + 6)) {
        if (!pressed)
            return {KeyAction::None};
        int mode = f - kFirstModeFunction;
        if (mode == 4 || mode == 5)
            mode = 9 - mode; // 405 and 406 are swapped
        return Broadcast(kSyncMode, mode);
    }
    return {KeyAction::None};
}

} // namespace orv
