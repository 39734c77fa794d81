// Which slot the program in the foreground is linked to.
#pragma once

#include "storage/profile_data.h"

#include <string_view>

namespace orv {

// The lowest slot with a link whose file name and extension is `exeFile`,
// or -1. Folders do not count; empty links never match; the suite's own
// programs that come to the front (the on-screen display) never switch.
int LinkedSlotOf(const SLOT_LINK_EXE& links, std::u16string_view exeFile);

// Whether any slot links a program that could match at all.
bool AnyLinkedProgram(const SLOT_LINK_EXE& links);

// The same for the process of the foreground window; -1 when there is no
// foreground window or its process is not in the snapshot.
int ForegroundLinkedSlot(const SLOT_LINK_EXE& links);

} // namespace orv
