// The main window's side of the keyboard's key events: it carries out what
// the rules in device/key_events decide.
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "device/key_events.h"
#include "device/key_tables.h"
#include "messaging/message_interface.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "storage/profile_file.h"

namespace orv {

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
        Broadcast(kSyncSelectSlot, slot);
}

LResult CHidWnd::OnKeyEvent(WParam wParam, LParam lParam) {
    const KeyEvent event = DecodeKeyEvent(wParam, lParam);
    const KeyEventRule rule = ClassifyKeyEvent(event);
    LIGHT_INFO& light = m_Settings.Current.Light;

    switch (rule.step) {
    case KeyEventStep::None:
        return 1;
    case KeyEventStep::LightEffect:
        light.Effect = static_cast<std::uint8_t>(rule.value);
        OnLightingEvent(WM_HID_LIGHT_EFFECT, rule.value);
        return 1;
    case KeyEventStep::LightOption:
        light.EffectOption = static_cast<std::uint8_t>(rule.value);
        OnLightingEvent(WM_HID_LIGHT_OPTION, rule.value);
        return 1;
    case KeyEventStep::LightLevel:
        light.EffectLevel = static_cast<std::uint8_t>(rule.value);
        OnLightingEvent(WM_HID_LIGHT_LEVEL, rule.value);
        return 1;
    case KeyEventStep::ControlSlot:
        SelectSlot(rule.value, false);
        return 1;
    case KeyEventStep::KeyboardSlot:
        SelectSlot(rule.value, false);
        if (m_Settings.SyncMode != 0)
            Broadcast(kSyncSelectSlot, rule.value);
        break; // the key code is looked at as well
    case KeyEventStep::Key:
        break;
    }

    const bool pressed = event.flag != 0;
    switch (RouteKeyCode(event.value, pressed)) {
    case KeyRoute::Dispatch:
        DispatchKeyFunction(event.code, pressed);
        break;
    case KeyRoute::EndHeldOrDispatch: {
        std::uint8_t slot = 0;
        bool haveSlot = m_Driver.GetDeviceSlot(slot) == kCommandDone;
        if (m_nHeldFunction != 0) {
            Broadcast(kSyncHeldFunction, -1);
            m_nHeldFunction = 0;
        } else {
            DispatchKeyFunction(event.code, pressed);
        }
        if (haveSlot)
            SelectSlot(slot, false);
        break;
    }
    case KeyRoute::AnnounceKeyboardSlot:
        SelectKeyboardSlot(true);
        break;
    case KeyRoute::None:
        break;
    }
    return 1;
}

void CHidWnd::DispatchKeyFunction(int position, bool pressed) {
    const int index = FindKeyIndex(position);
    if (index == kNoKeyIndex)
        return;
    const std::int32_t f = m_Settings.Current.Buttons[index].FunctionCode;
    const KeyFunctionAction act = ActionOfKeyFunction(f, pressed);
    switch (act.action) {
    case KeyAction::Launch:
        PostMsg(WM_HID_LAUNCH, 0, index);
        break;
    case KeyAction::LaunchOncePerLock:
        // One start per 500 ms, however fast the key repeats.
        if (!m_bLaunchLock) {
            m_bLaunchLock = true;
            SetTimer(IDT_LAUNCH_LOCK, 500);
            PostMsg(WM_HID_LAUNCH, 0, index);
        }
        break;
    case KeyAction::AnnounceKeyboardSlot:
        SelectKeyboardSlot(true);
        break;
    case KeyAction::HoldAndBroadcast:
        m_nHeldFunction = f;
        Broadcast(act.code, act.value);
        break;
    case KeyAction::Broadcast:
        Broadcast(act.code, act.value);
        break;
    case KeyAction::None:
        break;
    }
}

} // namespace orv
