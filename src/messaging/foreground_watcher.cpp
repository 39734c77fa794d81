// Switching to the slot whose profile links the program in the foreground.
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

namespace {

// Programs of the suite that come to the front without meaning a switch.
constexpr const char16_t* kNeverSwitchFor[] = {u"osdview.exe", u"mirel.exe"};

// The lowest slot with a link whose file name and extension is `exeFile`,
// or -1. Folders do not count; empty links never match.
int FindLinkedSlot(const SLOT_LINK_EXE& links, std::u16string_view exeFile) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int link = 0; link < kLinkExeCount; ++link) {
            std::u16string name = FileNameOf(FieldText(links[slot][link]));
            if (!name.empty() && EqualsNoCase(name, exeFile))
                return slot;
        }
    }
    return -1;
}

} // namespace

void CHidWnd::WatchForegroundApp() {
    WndHandle foreground = Windows().ForegroundWindow();
    if (foreground == kNoWindow)
        return;
    std::uint32_t processId = Windows().WindowProcessId(foreground);
    int matched = -1;
    Processes().ForEachProcess([&](const ProcessEntry& entry) {
        if (entry.processId != processId)
            return true;
        for (const char16_t* ignored : kNeverSwitchFor) {
            if (EqualsNoCase(entry.exeFile, ignored))
                return false;
        }
        matched = FindLinkedSlot(SlotLinkExe, entry.exeFile);
        return false;
    });
    if (matched >= 0 && matched != m_Settings.Profile) {
        m_Driver.SetDeviceSlot(static_cast<std::uint32_t>(matched));
        SelectSlot(matched, false);
    }
}

} // namespace orv
