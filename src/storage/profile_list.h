// The profile list in config.ini: which list record each device slot shows
// ("ProfileData", "Mode_<slot + 1>") and the records themselves
// ("MyXlistIconInfo<n>"). Slots without a record get one of their own.
#pragma once

#include "storage/profile_data.h"

namespace orv {

// Fills the six entries of ProfileList, assigning record i to slot i where
// a slot has none.
void LoadProfileList(SETTING_INFO& settings);

void WriteListCount();
// The record number of a slot; -1 when it has none.
int ReadSlotMapping(int slot);
void WriteSlotMapping(int slot, int n);
void ReadListItem(int n, PROFILE_LIST_ITEM& item);
// Writes record n, then the name into the profile file of that name.
void WriteListItem(int n, const PROFILE_LIST_ITEM& item);

} // namespace orv
