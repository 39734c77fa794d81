#include "app/hid_app.h"

#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "storage/paths.h"

namespace orv {

namespace {
// Exit code when the service cannot work at all (no folder to keep its files).
constexpr int kExitNoFolders = 1;
} // namespace

CHidApp::CHidApp() = default;

CHidApp::~CHidApp() = default;

bool CHidApp::InitInstance() {
    if (!CApp::InitInstance())
        return false;

    bool alreadyExisted = false;
    m_hMutex = Kernel().CreateNamedMutex(kInstanceMutexName, alreadyExisted);
    if (alreadyExisted || m_hMutex == 0) {
        // Without the mutex nothing would keep a second instance out, and two
        // services would fight over the keyboard and the files.
        if (!alreadyExisted)
            Debug().Write(u"instance mutex not created\n");
        Kernel().CloseHandle(m_hMutex);
        m_hMutex = 0;
        return false;
    }

    if (!FixFolders()) {
        // Without both folders nothing can be loaded or kept; a half-working
        // service writing to a wrong place would be worse than none.
        m_nExitCode = kExitNoFolders;
        return false;
    }

    m_pHidWnd = std::make_unique<CHidWnd>();
    m_pHidWnd->CreateEx(0, nullptr, kMainWindowTitle, WS_POPUP, 1, 1, 1, 1, kNoWindow, 0);
    m_pMainWnd = m_pHidWnd.get();
    return true;
}

bool CHidApp::FixFolders() {
    std::u16string exeDir = ExecutableFolder();
    if (exeDir.empty()) {
        Debug().Write(u"executable path too long\n");
        return false;
    }
    std::u16string dataDir = EnsureDataFolder(u"\\Orvane\\");
    if (dataDir.empty())
        return false;
    CopyToField(g_szExeDir, exeDir);
    CopyToField(g_szDataDir, dataDir);
    return true;
}

int CHidApp::ExitInstance() {
    m_pMainWnd = nullptr;
    m_pHidWnd.reset();
    if (m_hMutex != 0) {
        Kernel().ReleaseMutex(m_hMutex);
        Kernel().CloseHandle(m_hMutex);
        m_hMutex = 0;
    }
    return CApp::ExitInstance();
}

int RunService() {
    CHidApp app;
    return app.Run();
}

} // namespace orv
