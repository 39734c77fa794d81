#include "framework/dialog.h"

#include "platform/platform.h"

namespace orv {

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

} // namespace

std::vector<std::uint8_t> BuildDialogTemplate(const DialogLayout& layout) {
    std::vector<std::uint8_t> out;
    PutU16(out, 1);      // dlgVer
    PutU16(out, 0xFFFF); // signature of the extended form
    PutU32(out, 0);      // helpID
    PutU32(out, layout.exStyle);
    PutU32(out, layout.style);
    PutU16(out, 0); // no controls
    PutU16(out, 0); // x
    PutU16(out, 0); // y
    PutU16(out, static_cast<std::uint16_t>(layout.cx));
    PutU16(out, static_cast<std::uint16_t>(layout.cy));
    PutU16(out, 0); // no menu
    PutU16(out, 0); // the system's dialog class
    PutU16(out, 0); // no caption
    if (layout.style & DS_SETFONT) {
        PutU16(out, layout.pointSize);
        PutU16(out, layout.weight);
        out.push_back(0); // not italic
        out.push_back(1); // default character set
        for (char16_t c : layout.typeface)
            PutU16(out, c);
        PutU16(out, 0);
    }
    // Templates are read as arrays of 16-bit words on 32-bit boundaries.
    while (out.size() % 4 != 0)
        out.push_back(0);
    return out;
}

bool CDialog::CreateIndirect(const std::vector<std::uint8_t>& dialogTemplate, CWnd* owner) {
    WndHandle wnd = Windows().CreateDialogWnd(
        dialogTemplate, owner != nullptr ? owner->GetSafeHwnd() : kNoWindow, this);
    return wnd != kNoWindow && m_hWnd == wnd;
}

bool CDialog::PreTranslateMessage(const QueuedMsg& msg) {
    if (msg.msg < WM_KEYDOWN || msg.msg > 0x0109) // keyboard messages only
        return false;
    return m_hWnd != kNoWindow && Windows().IsDialogMsg(m_hWnd);
}

LResult CDialog::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    if (msg == WM_INITDIALOG)
        return OnInitDialog() ? 1 : 0;
    return CWnd::WindowProc(msg, wParam, lParam);
}

bool CDialog::OnInitDialog() {
    return true;
}

} // namespace orv
