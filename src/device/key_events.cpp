// What the keyboard reports: special keys and the changes it makes itself.
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "device/key_tables.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "storage/profile_file.h"

namespace orv {

namespace {

// Event codes in the low byte of a key event.
constexpr int KEV_SLOT = 0xDA;
constexpr int KEV_OPTION = 0xDB;
constexpr int KEV_LEVEL = 0xDC;
constexpr int KEV_EFFECT = 0xDF;
constexpr int KEV_CONTROL = 0xFE;

// Broadcast codes of the registered message.
constexpr WParam kSyncSlotChanged = 0;
constexpr WParam kSyncHeldFunction = 2;
constexpr WParam kSyncPickSlot = 10;
constexpr WParam kSyncHoldKey = 11;
constexpr WParam kSyncMode = 12;

constexpr int kNoKey = 0xFF;

// The function a key code stands for: the last table row with that code
// (several functions share one code), or 0.
std::int32_t FunctionOfKeyCode(int keyCode) {
    std::int32_t function = 0;
    for (const DEVICE_KEY_CODE& row : g_DeviceKeyCodes) {
        if (row.KeyCode == keyCode)
            function = row.FunctionCode;
    }
    return function;
}

} // namespace

int FindKeyIndex(int position) {
    for (int i = 0; i < kKeyCount; ++i) {
        if (g_KeyPositions[i] == position)
            return i;
    }
    return kNoKey;
}

void CHidWnd::OnLightingEvent(MsgId notice, LParam value) {
    PostToConfigWindow(notice, m_Settings.Profile, value);
    SaveProfileFile(FieldText(m_Settings.ProfileList[m_Settings.Profile].ProfileName),
                    m_Settings.Current);
}

void CHidWnd::SelectKeyboardSlot(bool announce) {
    std::uint8_t slot = 0;
    if (m_Driver.GetDeviceSlot(slot) != kCommandDone)
        return;
    SelectSlot(slot, false);
    if (announce && m_Settings.SyncMode != 0)
        Broadcast(kSyncSlotChanged, slot);
}

LResult CHidWnd::OnKeyEvent(WParam wParam, LParam lParam) {
    const int code = static_cast<int>(lParam & 0xFF);
    const int flag = static_cast<int>((lParam >> 16) & 0xFF);
    const int v = static_cast<int>(wParam & 0xFF);
    LIGHT_INFO& light = m_Settings.Current.Light;

    switch (code) {
    case KEV_EFFECT:
        if (v <= 9) {
            light.Effect = static_cast<std::uint8_t>(v);
            OnLightingEvent(WM_HID_LIGHT_EFFECT, v);
        }
        return 1;
    case KEV_OPTION:
        if (v <= 1) {
            light.EffectOption = static_cast<std::uint8_t>(v);
            OnLightingEvent(WM_HID_LIGHT_OPTION, v);
        }
        return 1;
    case KEV_LEVEL:
        if (v <= 4) {
            light.EffectLevel = static_cast<std::uint8_t>(v + 1);
            OnLightingEvent(WM_HID_LIGHT_LEVEL, v + 1);
        }
        return 1;
    case KEV_SLOT: {
        int slot = v == 6 ? 0 : v; // the keyboard may send 6 for slot 0
        SelectSlot(slot, false);
        if (m_Settings.SyncMode != 0)
            Broadcast(kSyncSlotChanged, slot);
        break; // the key code is looked at as well
    }
    case KEV_CONTROL:
        if (flag == 4)
            SelectSlot(v - 1, false);
        return 1;
    default:
        break;
    }

    const bool pressed = flag != 0;
    const std::int32_t function = FunctionOfKeyCode(v);
    if (function == 0 || function == 384) {
        DispatchKeyFunction(code, pressed);
    } else if (function >= 323) {
        std::uint8_t slot = 0;
        bool haveSlot = m_Driver.GetDeviceSlot(slot) == kCommandDone;
        if (m_nHeldFunction != 0) {
            Broadcast(kSyncHeldFunction, -1);
            m_nHeldFunction = 0;
        } else {
            DispatchKeyFunction(code, pressed);
        }
        if (haveSlot)
            SelectSlot(slot, false);
    } else if (pressed && function >= 257 && function <= 260) {
        SelectKeyboardSlot(true);
    }
    return 1;
}

void CHidWnd::DispatchKeyFunction(int position, bool pressed) {
    int index = FindKeyIndex(position);
    if (index == kNoKey)
        return;
    const std::int32_t f = m_Settings.Current.Buttons[index].FunctionCode;

    if (f == 223) {
        if (pressed)
            PostMsg(WM_HID_LAUNCH, 0, index);
    } else if (f >= 257 && f <= 259) {
        if (pressed)
            SelectKeyboardSlot(true);
    } else if (f >= 263 && f <= 268) {
        if (pressed)
            Broadcast(kSyncPickSlot, f - 263);
    } else if (f >= 289 && f <= 291) {
        Broadcast(kSyncHeldFunction, pressed ? f - 289 : -1);
    } else if (f >= 353 && f <= 355) {
        m_nHeldFunction = f;
        Broadcast(kSyncHeldFunction, f - 353);
    } else if (f == 384) {
        // One start per 500 ms, however fast the key repeats.
        if (pressed && !m_bLaunchLock) {
            m_bLaunchLock = true;
            SetTimer(IDT_LAUNCH_LOCK, 500);
            PostMsg(WM_HID_LAUNCH, 0, index);
        }
    } else if (f == 400) {
        Broadcast(kSyncHoldKey, pressed ? 1 : 0);
    } else if (f >= 401 && f <= 407) {
        if (pressed) {
            int mode = f - 401;
            if (mode == 4 || mode == 5)
                mode = 9 - mode; // 405 and 406 are swapped
            Broadcast(kSyncMode, mode);
        }
    }
}

} // namespace orv
