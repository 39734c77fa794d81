#include "framework/wnd.h"

#include "framework/app.h"
#include "platform/platform.h"

#include <map>

namespace orv {

namespace {
// Windows of this process by handle; used on the user-interface thread only.
std::map<WndHandle, CWnd*>& HandleMap() {
    static std::map<WndHandle, CWnd*> map;
    return map;
}
} // namespace

CWnd* CWnd::FromHandle(WndHandle wnd) {
    auto it = HandleMap().find(wnd);
    return it == HandleMap().end() ? nullptr : it->second;
}

bool CWnd::PreTranslateMessage(const QueuedMsg&) { return false; }

CWnd::~CWnd() {
    if (m_hWnd != kNoWindow)
        Windows().DestroyWnd(m_hWnd);
}

bool CWnd::CreateEx(std::uint32_t exStyle, const char16_t* className, const char16_t* title,
                    std::uint32_t style, int x, int y, int width, int height, WndHandle parent,
                    std::uintptr_t childId) {
    WindowCreateArgs args;
    args.exStyle = exStyle;
    args.className = className ? className : u"";
    args.title = title ? title : u"";
    args.style = style;
    args.x = x;
    args.y = y;
    args.width = width;
    args.height = height;
    args.parent = parent;
    args.childId = childId;
    WndHandle wnd = Windows().CreateWnd(args, this);
    if (wnd == kNoWindow) {
        m_hWnd = kNoWindow;
        return false;
    }
    m_hWnd = wnd;
    HandleMap()[wnd] = this;
    return true;
}

bool CWnd::DestroyWindow() {
    if (m_hWnd == kNoWindow)
        return false;
    return Windows().DestroyWnd(m_hWnd);
}

bool CWnd::PostMsg(MsgId msg, WParam wParam, LParam lParam) {
    return Windows().PostMsg(m_hWnd, msg, wParam, lParam);
}

bool CWnd::SetTimer(TimerId id, std::uint32_t periodMs) {
    return Windows().StartTimer(m_hWnd, id, periodMs);
}

bool CWnd::KillTimer(TimerId id) { return Windows().StopTimer(m_hWnd, id); }

void CWnd::SetTitle(std::u16string_view title) { Windows().SetTitle(m_hWnd, title); }

bool CWnd::ShowWindow(int showCmd) { return Windows().ShowWnd(m_hWnd, showCmd); }

bool CWnd::Invalidate(bool erase) { return Windows().InvalidateWnd(m_hWnd, erase); }

bool CWnd::UpdateWindow() { return Windows().UpdateWnd(m_hWnd); }

LResult CWnd::OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    // The handle is known from the first message on, so WM_CREATE handlers
    // can already use it.
    if (m_hWnd == kNoWindow) {
        m_hWnd = wnd;
        HandleMap()[wnd] = this;
    }
    LResult result = WindowProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        HandleMap().erase(wnd);
        m_hWnd = kNoWindow;
        CApp* app = CApp::Current();
        if (app != nullptr && app->m_pMainWnd == this)
            Windows().QuitLoop(0);
    }
    return result;
}

LResult CWnd::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    return Default(msg, wParam, lParam);
}

LResult CWnd::Default(MsgId msg, WParam wParam, LParam lParam) {
    return Windows().DefaultProc(m_hWnd, msg, wParam, lParam);
}

} // namespace orv
