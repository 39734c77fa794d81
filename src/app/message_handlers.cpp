// The main window's side of the suite's message protocol: the registered
// message, the small requests, and the key program's start.
#include "app/hid_wnd.h"
#include "messaging/launcher.h"
#include "messaging/messages.h"
#include "messaging/slot_switching.h"
#include "platform/platform.h"

namespace orv {

bool CHidWnd::OnSyncMessage(WParam code, LParam value) {
    // Values are 32-bit on the wire: -1 may come as 0xFFFFFFFF.
    auto slot = static_cast<std::int32_t>(value);
    if (code == kSyncSelectSlot || code == kSyncSelectSlotToo) {
        SelectSlot(slot, false);
        m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(slot));
    } else if (code == kSyncTemporarySwitch) {
        return OnTemporarySwitch(slot);
    }
    return true;
}

bool CHidWnd::OnTemporarySwitch(std::int32_t value) {
    const TemporarySwitch next = DecideTemporarySwitch(value, m_Settings.Profile, m_nSavedSlot);
    if (!next.act)
        return false;
    SelectSlot(next.target, false);
    m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(next.target));
    return true;
}

LResult CHidWnd::OnSetSlot(WParam wParam) {
    // A slot the keyboard does not have is still passed on to it, but never
    // kept: it would name a profile-list entry that does not exist.
    auto slot = static_cast<std::uint8_t>(wParam & 0xFF);
    if (slot < kSlotCount)
        m_Settings.Profile = slot;
    m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(wParam));
    return 1;
}

LResult CHidWnd::OnSetOption(WParam wParam, LParam lParam) {
    auto value = static_cast<std::uint32_t>(lParam);
    if (wParam == 0) {
        m_Settings.PollingRate = static_cast<std::uint8_t>(value & 0xFF);
        m_Driver.SetPollingRate(value);
    } else {
        m_Settings.KeyMode = static_cast<std::uint8_t>(value & 0xFF);
        m_Driver.SetKeyMode(value);
    }
    return 1;
}

void CHidWnd::Broadcast(WParam code, LParam value) {
    Windows().PostMsg(kBroadcast, m_uSyncMsg, code, value);
}

LResult CHidWnd::OnLaunchProgram(WParam wParam, LParam lParam) {
    LaunchKeyProgram(m_Settings.Current, wParam, lParam);
    return 1;
}

} // namespace orv
