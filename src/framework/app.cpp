#include "framework/app.h"

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

int CApp::Run() {
    if (!InitInstance())
        return ExitInstance();
    m_nExitCode = Windows().RunLoop();
    return ExitInstance();
}

} // namespace orv
