#include "app/hid_wnd.h"

#include "messaging/messages.h"
#include "platform/platform.h"

namespace orv {

CHidWnd::CHidWnd() = default;

CHidWnd::~CHidWnd() = default;

LResult CHidWnd::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    if (msg == WM_HID_REOPEN)
        m_Driver.ReopenDevice();

    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        OnDestroy();
        return Default(msg, wParam, lParam);
    case WM_TIMER:
        OnTimer(wParam);
        return Default(msg, wParam, lParam);
    default:
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

int CHidWnd::OnCreate() {
    m_uSyncMsg = Windows().RegisterMsg(kSyncMessageName);
    m_Driver.m_hNotifyWnd = m_hWnd;
    m_Driver.OpenDevice();
    return 0;
}

void CHidWnd::OnDestroy() {
    WndHandle osd = Windows().FindTopLevel(nullptr, kOsdWindowTitle);
    if (osd != kNoWindow)
        Windows().PostMsg(osd, WM_DESTROY, 0, 0);
    KillTimer(IDT_APP_WATCH);
}

void CHidWnd::OnTimer(TimerId id) {
    if (id == IDT_LAUNCH_LOCK) {
        m_bLaunchLock = false;
        KillTimer(IDT_LAUNCH_LOCK);
    }
}

} // namespace orv
