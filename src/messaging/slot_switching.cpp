// Changing the current slot: the one place that saves it, announces it,
// shows it on screen and loads its profile.
#include "messaging/slot_switching.h"

#include "base/wstr.h"
#include "messaging/message_interface.h"
#include "messaging/messages.h"
#include "messaging/osd.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

namespace orv {

std::u16string SlotDisplayText(int slot) {
    return slot == 0 ? std::u16string(u"PC Mode") : FormatW(u"Profile %d", slot);
}

void MakeSlotCurrent(SETTING_INFO& settings, std::int32_t slot, bool force) {
    if (static_cast<std::uint32_t>(slot) >= static_cast<std::uint32_t>(kSlotCount))
        return;
    if (slot != settings.Profile) {
        settings.Profile = static_cast<std::uint8_t>(slot);
        SaveSettings(settings);
        PostToConfigWindow(WM_HID_SET_SLOT, 0, slot);
        if (settings.OSD_Profile != 0)
            ShowOsd(SlotDisplayText(slot), settings.OSD_Color);
    } else if (!force) {
        return;
    }
    std::u16string name(FieldText(settings.ProfileList[settings.Profile].ProfileName));
    ClearProfile(settings);
    LoadProfileFile(name, settings.Current);
    ValidateProfile(settings);
}

TemporarySwitch DecideTemporarySwitch(std::int32_t value, std::int32_t currentSlot,
                                      std::int32_t& savedSlot) {
    if (value == -1) {
        if (savedSlot == -1)
            return {false, 0};
        const std::int32_t target = savedSlot;
        savedSlot = -1;
        return {true, target};
    }
    // Only the first temporary switch remembers where to return to.
    if (savedSlot == -1)
        savedSlot = currentSlot;
    // The value counts slots from 1. It is any 32-bit number another program
    // sent: one less wraps as 32-bit numbers do, so the lowest value goes on
    // as the highest instead of overflowing.
    return {true, static_cast<std::int32_t>(static_cast<std::uint32_t>(value) - 1u)};
}

} // namespace orv
