#include "skin/progress_dlg.h"

namespace orv {

// The language file is read by the text subsystem; until it is wired in the
// window has no caption.
std::u16string LoadProgressCaption(const std::u16string&) { return {}; }

} // namespace orv
