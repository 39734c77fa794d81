// Changing the current slot: the one place that saves it, announces it,
// shows it on screen and loads its profile.
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "messaging/osd.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

namespace orv {

std::u16string SlotDisplayText(int slot) {
    return slot == 0 ? std::u16string(u"PC Mode") : FormatW(u"Profile %d", slot);
}

void CHidWnd::SelectSlot(std::int32_t slot, bool force) {
    if (static_cast<std::uint32_t>(slot) >= static_cast<std::uint32_t>(kSlotCount))
        return;
    if (slot != m_Settings.Profile) {
        m_Settings.Profile = static_cast<std::uint8_t>(slot);
        SaveSettings(m_Settings);
        PostToConfigWindow(WM_HID_SET_SLOT, 0, slot);
        if (m_Settings.OSD_Profile != 0)
            ShowOsd(SlotDisplayText(slot), m_Settings.OSD_Color);
    } else if (!force) {
        return;
    }
    std::u16string name(FieldText(m_Settings.ProfileList[m_Settings.Profile].ProfileName));
    ClearProfile(m_Settings);
    LoadProfileFile(name, m_Settings.Current);
    ValidateProfile(m_Settings);
}

} // namespace orv
