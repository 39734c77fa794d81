// The on-screen display and the tray-icon program: the two small programs
// that show things for the service, which has no visible window of its own.
#pragma once

#include "messaging/osd_record.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// The display record for `text` in the colour scheme `osdColor`.
OSD_DATA MakeOsdRecord(std::u16string_view text, std::uint8_t osdColor);

// Shows `text` through the display program, starting it (up to five times,
// 500 ms apart) when its window is missing; sends nothing if it never comes.
// The display has a second to take the record; one that does not is given up.
void ShowOsd(std::u16string_view text, std::uint8_t osdColor);

// Starts the tray-icon program from the executable's folder unless it runs.
void StartTrayIconProgram();

} // namespace orv
