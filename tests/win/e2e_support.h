// Helpers of the end-to-end tests: they start the real programs from dist/
// under Wine and look at what they did (windows, files, registry).
#pragma once

#include <windows.h>

#include <string>

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

// A program started by a test; ended (forcibly if need be) when destroyed.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::wstring& exe, const std::wstring& args = L"");
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

// Ends a running service (closing its window) and waits for its process.
void StopService(DWORD ms = 10000);

} // namespace orv::e2e
