// The main window's side of the suite's message protocol: the registered
// message, the small requests, and the lookup of the configuration program.
#include "app/hid_wnd.h"
#include "messaging/messages.h"
#include "platform/platform.h"

namespace orv {

namespace {
constexpr WParam kSyncSelectSlot = 0;
constexpr WParam kSyncTemporarySwitch = 1;
constexpr WParam kSyncSelectSlotToo = 20;
} // namespace

WndHandle FindConfigWindow() {
    WndHandle top = Windows().FindTopLevel(nullptr, kConfigWindowTitle);
    return top == kNoWindow ? kNoWindow : Windows().FindChild(top, kConfigWindowTitle);
}

bool PostToConfigWindow(MsgId msg, WParam wParam, LParam lParam) {
    WndHandle config = FindConfigWindow();
    if (config == kNoWindow)
        return false;
    Windows().PostMsg(config, msg, wParam, lParam);
    return true;
}

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
    std::int32_t target;
    if (value == -1) {
        if (m_nSavedSlot == -1)
            return false;
        target = m_nSavedSlot;
        m_nSavedSlot = -1;
    } else {
        // The value counts slots from 1. It is any 32-bit number another
        // program sent: one less wraps as 32-bit numbers do, so the lowest
        // value goes on as the highest instead of overflowing.
        target = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) - 1u);
        // Only the first temporary switch remembers where to return to.
        if (m_nSavedSlot == -1)
            m_nSavedSlot = m_Settings.Profile;
    }
    SelectSlot(target, false);
    m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(target));
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

} // namespace orv
