#include "framework/app.h"

#include "framework/wnd.h"
#include "platform/platform.h"

namespace orv {

namespace {
CApp* g_pApp = nullptr;
}

CApp::CApp() { g_pApp = this; }

CApp::~CApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

CApp* CApp::Current() { return g_pApp; }

bool CApp::InitInstance() { return true; }

int CApp::ExitInstance() { return m_nExitCode; }

bool CApp::PreTranslate(const QueuedMsg& msg) {
    for (WndHandle wnd = msg.wnd; wnd != kNoWindow; wnd = Windows().ParentOf(wnd)) {
        CWnd* window = CWnd::FromHandle(wnd);
        if (window != nullptr && window->PreTranslateMessage(msg))
            return true;
    }
    return false;
}

int CApp::Run() {
    Windows().SetPreTranslateHook(&CApp::PreTranslate);
    if (!InitInstance())
        return ExitInstance();
    m_nExitCode = Windows().RunLoop();
    return ExitInstance();
}

} // namespace orv
