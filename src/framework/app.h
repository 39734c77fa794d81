// Application base class: start-up, message loop and exit of a windowed
// program. There is one application object per process.
#pragma once

#include "platform/types.h"

namespace orv {

class CWnd;

class CApp {
public:
    CApp();
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;
    virtual ~CApp();

    // Returns false to end the program without running the message loop.
    virtual bool InitInstance();
    // Returns the program's exit code.
    virtual int ExitInstance();

    // Start-up, message loop, exit; returns the exit code.
    int Run();

    static CApp* Current();

    // Offers a queued message to its window and that window's ancestors, the
    // nearest first; true when one of them swallowed it.
    static bool PreTranslate(const QueuedMsg& msg);

    // Destroying this window ends the message loop.
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;
};

} // namespace orv
