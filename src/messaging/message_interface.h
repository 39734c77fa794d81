// The configuration program as the service addresses it: its notice window
// is looked up anew at every send, and a missing one drops the notice.
#pragma once

#include "platform/types.h"

namespace orv {

// The window the configuration program receives its notices in: the child
// "Orvane" of the top-level "Orvane"; kNoWindow when either is missing.
WndHandle FindConfigWindow();
// Posts to that window; false when it is missing.
bool PostToConfigWindow(MsgId msg, WParam wParam, LParam lParam);

} // namespace orv
