// Changing the current slot, and the rule of the temporary switch.
#pragma once

#include "storage/profile_data.h"

#include <cstdint>
#include <string>

namespace orv {

// "PC Mode" for slot 0, "Profile <n>" for the others.
std::u16string SlotDisplayText(int slot);

// Makes `slot` current (0..5, anything else is ignored): saved, announced to
// the configuration program, shown on screen when the settings ask for it,
// and its profile loaded into Current. The same slot again reloads only
// with `force`. The keyboard is not told.
void MakeSlotCurrent(SETTING_INFO& settings, std::int32_t slot, bool force);

// Where a temporary switch goes. `value` counts slots from 1, or is -1 to
// return; `savedSlot` (-1: none) is where the first switch remembers to
// return to, and is updated.
struct TemporarySwitch {
    bool act;            // false: nothing to return to
    std::int32_t target; // the slot to select (may be outside 0..5)
};
TemporarySwitch DecideTemporarySwitch(std::int32_t value, std::int32_t currentSlot,
                                      std::int32_t& savedSlot);

} // namespace orv
