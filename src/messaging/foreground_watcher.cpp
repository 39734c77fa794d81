// Finding the slot whose profile links the program in the foreground.
#include "messaging/foreground_watcher.h"

#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

namespace {

// Programs of the suite that come to the front without meaning a switch.
constexpr const char16_t* kNeverSwitchFor[] = {u"osdview.exe", u"mirel.exe"};

} // namespace

int LinkedSlotOf(const SLOT_LINK_EXE& links, std::u16string_view exeFile) {
    for (const char16_t* ignored : kNeverSwitchFor) {
        if (EqualsNoCase(exeFile, ignored))
            return -1;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int link = 0; link < kLinkExeCount; ++link) {
            std::u16string name = FileNameOf(FieldText(links[slot][link]));
            if (!name.empty() && EqualsNoCase(name, exeFile))
                return slot;
        }
    }
    return -1;
}

bool AnyLinkedProgram(const SLOT_LINK_EXE& links) {
    for (const auto& slot : links) {
        for (const auto& link : slot) {
            if (!FileNameOf(FieldText(link)).empty())
                return true;
        }
    }
    return false;
}

int ForegroundLinkedSlot(const SLOT_LINK_EXE& links) {
    WndHandle foreground = Windows().ForegroundWindow();
    if (foreground == kNoWindow)
        return -1;
    std::uint32_t processId = Windows().WindowProcessId(foreground);
    int matched = -1;
    Processes().ForEachProcess([&](const ProcessEntry& entry) {
        if (entry.processId != processId)
            return true;
        matched = LinkedSlotOf(links, entry.exeFile);
        return false;
    });
    return matched;
}

} // namespace orv
