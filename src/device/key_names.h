// Names of the keyboard's 111 keys by key index, for people and scripts that
// pick a key by what is printed on it rather than by its index.
#pragma once

#include "storage/profile_data.h"

#include <string_view>

namespace orv {

// Index order; each name is the key's default function on a US layout (the
// keypad's keys start with "Num"), or ExtraN for the positions whose default
// key code is none.
extern const char16_t* const g_KeyNames[kKeyCount];

// The key index of a name, matched without regard to case; -1 when no key
// has that name.
int FindKeyByName(std::u16string_view name);

} // namespace orv
