// Profile files: one INI file per profile, "<data folder>Profiles\<name>.ini",
// section "GROUP", holding the linked programs as text and the lighting, the
// colour sets and the key table as checksummed structure values.
#pragma once

#include "storage/profile_data.h"

#include <string>
#include <string_view>

namespace orv {

inline constexpr char16_t kProfileGroup[] = u"GROUP";

// The profile file of a name: in `folder` when one is given (it ends in a
// separator), else in the folder "Profiles\" of the data folder. The name is
// used as it is.
std::u16string ProfileFilePath(std::u16string_view name, std::u16string_view folder = {});

// Records the name in the file (creating the file when missing), then reads
// the whole profile. A missing or malformed structure value leaves its part
// of the record as the caller prepared it.
void LoadProfileFile(std::u16string_view name, PROFILE_DATA& profile,
                     std::u16string_view folder = {});

void SaveProfileFile(std::u16string_view name, const PROFILE_DATA& profile,
                     std::u16string_view folder = {});

// Reads only the five linked programs; never creates the file.
void LoadLinkTable(std::u16string_view name, std::u16string_view folder, LINK_EXE_TABLE& links);

} // namespace orv
