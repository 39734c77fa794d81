// Helpers of the end-to-end tests: they start the real programs from dist/
// under Wine and look at what they did (windows, files, registry).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::e2e {

// dist/ as a Windows path (the harness sets ORV_DIST), with a trailing '\'.
std::wstring DistDir();
// The prefix's %APPDATA% and the service's data folder in it.
std::wstring AppDataDir();
std::wstring DataDir();

bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// Deletes a folder with everything in it; true when it is gone.
bool RemoveTree(const std::wstring& path);
// The names of the files (not folders) in a folder given with a trailing '\'.
std::vector<std::wstring> FilesIn(const std::wstring& dir);
// The folder of the running test program, with a trailing '\'.
std::wstring ExeDir();
// A shell shortcut at link that starts target; COM must be initialised.
bool MakeShellLink(const std::wstring& link, const std::wstring& target);

// A program started by a test; ended (forcibly if need be) when destroyed.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // `folder`: the program's current folder; empty for this program's own.
    bool Start(const std::wstring& exe, const std::wstring& args = L"",
               const std::wstring& folder = L"");
    // Waits until the program waits for input with its queue empty.
    bool WaitIdle(DWORD ms);
    // Waits for the end; returns the exit code, or STILL_ACTIVE on timeout.
    DWORD Wait(DWORD ms);
    bool Running();
    DWORD Id() const { return m_info.dwProcessId; }

private:
    PROCESS_INFORMATION m_info{};
};

// Polls for a top-level window with this title; null after the time limit.
HWND WaitForWindow(const wchar_t* title, DWORD ms, const wchar_t* className = nullptr);
// Polls until no top-level window has this title.
bool WaitForNoWindow(const wchar_t* title, DWORD ms);
int CountWindows(const wchar_t* title);

// Asks the program owning the top-level window `title` to end with `msg`
// and waits for its process, ending it forcibly after `ms`.
void CloseProgram(const wchar_t* title, UINT msg, DWORD ms);
// Ends a running service (closing its window) and waits for its process.
// A service busy with the keyboard (3 s per plug notice) may take a while.
void StopService(DWORD ms = 30000);

// Polls a condition; what a program does after a message may take a moment.
template <typename Condition> bool Eventually(Condition condition, DWORD ms = 10000) {
    for (DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start >= ms)
            return false;
    }
    return true;
}

// A test that starts with no service running and no data folder.
class FreshDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        StopService();
        ASSERT_TRUE(RemoveTree(DataDir()));
    }
};

// Lines of a text file (LF or CR LF line ends), without the line ends.
std::vector<std::string> ReadLines(const std::wstring& path);
int CountPrefixed(const std::vector<std::string>& lines, const std::string& prefix);
int CountContaining(const std::vector<std::string>& lines, const std::string& part);
// Polls until `count(lines)` reaches `wanted`; false after the time limit.
bool WaitForLines(const std::wstring& path, int wanted, DWORD ms,
                  int (*count)(const std::vector<std::string>&, const std::string&),
                  const std::string& text);

// A command to the simulated keyboard's control window; its reply, or -2
// when the simulator is not loaded.
LRESULT SimCommand(const std::string& command);
// The same for the modelled keyboard of the tests' library over the
// modelled HID stack (build/win/src/hiddevice/model/HidDevice.dll).
LRESULT ModelCommand(const std::string& command);
// That library, as copied beside the Windows tests.
std::wstring ModelLibrary();

// The service installed in a fresh temporary folder from dist/ (program,
// display and tray programs, skins, language file) with the simulated
// keyboard beside it, logging to sim.log there.
class SimInstall {
public:
    // `simStart`: commands the simulator runs when it loads (ORV_SIM_START).
    // `library`: the HidDevice.dll to install; empty for the simulated keyboard.
    explicit SimInstall(const std::string& simStart = "", const std::wstring& library = L"");
    ~SimInstall();
    SimInstall(const SimInstall&) = delete;
    SimInstall& operator=(const SimInstall&) = delete;

    const std::wstring& Dir() const { return m_dir; }
    std::wstring Exe() const { return m_dir + L"OrvaneHid.exe"; }
    std::wstring Log() const { return m_dir + L"sim.log"; }
    // Starts the installed service and waits for its main window; null when
    // it does not start or shows no window within 10 s.
    HWND StartService(Process& service) const;
    // The simulator's log lines without their times.
    std::vector<std::string> LogLines() const;
    bool WaitForLog(const std::string& prefix, int count, DWORD ms = 30000) const;
    std::size_t LogSize() const { return ReadLines(Log()).size(); }
    // The time (the simulator's GetTickCount) of the first command selecting
    // `slot` after line `from` of the log, waiting for it up to `ms`; 0 when
    // none came.
    DWORD WaitForSlotCommand(std::size_t from, int slot, DWORD ms) const;
    // The slots of all slot commands after line `from`, in order.
    std::vector<int> SlotCommandsSince(std::size_t from) const;

private:
    std::wstring m_dir;
};

// A program the user works with: a visible window titled `title` of its own
// process, whose executable is named `exeName` (a copy of the stand-in
// program in `dir`), so that profiles can link it by that name.
class ShownProgram {
public:
    bool Start(const std::wstring& dir, const std::wstring& exeName, const wchar_t* title);
    HWND Handle() const { return m_wnd; }
    // Brings it to the front as a user would; returns GetTickCount just
    // before, or 0 when the window did not come to the front.
    DWORD BringToFront() const;

private:
    Process m_process;
    HWND m_wnd = nullptr;
};

// Stands in for the configuration program: a top-level window "Orvane" with
// a child "Orvane" that records the messages it is posted.
class ConfigStandIn {
public:
    explicit ConfigStandIn(const wchar_t* className = L"OrvE2eConfig") {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
        m_top = CreateWindowExW(0, className, L"Orvane", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                wc.hInstance, nullptr);
        CreateWindowExW(0, className, L"Orvane", WS_CHILD, 0, 0, 1, 1, m_top, nullptr, wc.hInstance,
                        nullptr);
        s_received.clear();
    }
    ~ConfigStandIn() { DestroyWindow(m_top); }
    ConfigStandIn(const ConfigStandIn&) = delete;
    ConfigStandIn& operator=(const ConfigStandIn&) = delete;

    // Delivers messages for `ms`, or until `msg` has come; how often it came.
    static int Pump(UINT msg, DWORD ms) {
        for (DWORD start = GetTickCount();;) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            if (Count(msg) > 0 || GetTickCount() - start >= ms)
                return Count(msg);
            Sleep(10);
        }
    }
    // The same, giving the wParam of the first `msg`, or -1.
    static long WaitFor(UINT msg, DWORD ms) {
        if (Pump(msg, ms) == 0)
            return -1;
        for (const MSG& r : s_received) {
            if (r.message == msg)
                return static_cast<long>(r.wParam);
        }
        return -1;
    }
    static int Count(UINT msg) {
        int n = 0;
        for (const MSG& r : s_received)
            n += r.message == msg ? 1 : 0;
        return n;
    }
    static void Forget() { s_received.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg >= WM_USER && GetParent(wnd) != nullptr)
            s_received.push_back(MSG{wnd, msg, wParam, lParam, 0, {}});
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }

    static inline std::vector<MSG> s_received;
    HWND m_top = nullptr;
};

} // namespace orv::e2e
