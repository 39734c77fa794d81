// The service's application object: single instance, the two folders, and the
// hidden main window.
#pragma once

#include "framework/app.h"
#include "platform/kernel.h"

#include <memory>

namespace orv {

class CHidWnd;

constexpr const char16_t* kInstanceMutexName = u"Orvane_Hid_MUTEX";

class CHidApp : public CApp {
public:
    CHidApp();
    ~CHidApp() override;

    bool InitInstance() override;
    int ExitInstance() override;

    CHidWnd* MainWindow() const { return m_pHidWnd.get(); }

private:
    bool FixFolders();

    KernelHandle m_hMutex = 0;
    std::unique_ptr<CHidWnd> m_pHidWnd;
};

// The executable's entry: runs the service on the installed platform and
// returns the process exit code.
int RunService();

} // namespace orv
