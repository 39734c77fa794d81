// What orvctl needs of the data folder beyond the storage code: which profile
// each slot shows, read without the repairs a service start makes (a read
// verb writes nothing), and whether a name can be a profile's file name.
#pragma once

#include "storage/profile_data.h"

#include <memory>
#include <string>
#include <string_view>

namespace orv::ctl {

// Sets the data folder from the shell unless the caller set it; false when
// there is none. `folder` receives it either way.
bool FindDataFolder(std::u16string& folder);

struct SlotProfile {
    int record = -1;     // its list record, or -1 when config.ini names none
    std::u16string name; // its name, also the name of its file
};

// The record and name of a slot as the service would take them: a slot
// without a record has record `slot` named "Profile <slot>".
SlotProfile ReadSlotProfile(int slot);

// The profile of a name as the service loads it into a cleared record,
// without writing anything.
std::unique_ptr<PROFILE_DATA> ReadProfile(std::u16string_view name);

// Why a name cannot name a profile file; empty when it can.
std::string NameFault(std::u16string_view name);

} // namespace orv::ctl
