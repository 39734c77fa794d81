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

// As LoadProfileFile, without writing anything: a missing file reads as
// empty and is not created.
void ReadProfileFile(std::u16string_view name, PROFILE_DATA& profile,
                     std::u16string_view folder = {});

void SaveProfileFile(std::u16string_view name, const PROFILE_DATA& profile,
                     std::u16string_view folder = {});

// Why the bytes of a file are not a whole profile (no section GROUP, or a
// structure value missing or malformed); empty when they are one.
std::u16string ProfileFileFault(std::string_view bytes);

// Reads only the five linked programs; never creates the file.
void LoadLinkTable(std::u16string_view name, std::u16string_view folder, LINK_EXE_TABLE& links);

} // namespace orv
