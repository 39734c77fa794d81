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

private:
    std::wstring m_dir;
};

} // namespace orv::e2e
