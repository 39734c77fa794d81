// The main window's slot changes: the rule is messaging/slot_switching; the
// foreground watcher also tells the keyboard.
#include "app/hid_wnd.h"
#include "messaging/foreground_watcher.h"
#include "messaging/slot_switching.h"

namespace orv {

void CHidWnd::SelectSlot(std::int32_t slot, bool force) {
    MakeSlotCurrent(m_Settings, slot, force);
}

void CHidWnd::WatchForegroundApp() {
    const int matched = ForegroundLinkedSlot(SlotLinkExe);
    if (matched >= 0 && matched != m_Settings.Profile) {
        m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(matched));
        SelectSlot(matched, false);
    }
}

} // namespace orv
