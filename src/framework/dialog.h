// Modeless dialog windows made from in-memory dialog templates.
#pragma once

#include "framework/wnd.h"

#include <cstdint>
#include <vector>

namespace orv {

// An extended dialog template without controls.
struct DialogLayout {
    std::uint32_t style;
    std::uint32_t exStyle;
    std::int16_t cx, cy; // dialog units
    std::uint16_t pointSize;
    std::uint16_t weight;
    std::u16string typeface;
};

// The bytes of an extended dialog template (DLGTEMPLATEEX) for `layout`: no
// menu, no window class, no caption, no controls.
std::vector<std::uint8_t> BuildDialogTemplate(const DialogLayout& layout);

class CDialog : public CWnd {
public:
    // Creates the dialog modelessly, owned by `owner` (may be null).
    bool CreateIndirect(const std::vector<std::uint8_t>& dialogTemplate, CWnd* owner);

    bool PreTranslateMessage(const QueuedMsg& msg) override;

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;
    // Returns true to let the system set the default focus.
    virtual bool OnInitDialog();
};

} // namespace orv
