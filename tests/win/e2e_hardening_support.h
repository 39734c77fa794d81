// Helpers of the hardening tests: the service on the simulated keyboard,
// started, driven and killed at will, and its data files read both with the
// platform's INI functions and with the service's own engine.
#pragma once

#include "e2e_support.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv::e2e {

constexpr UINT WM_HID_KEY_EVENT = 0x656;
// Key events the keyboard sends when it changes its lighting by itself.
constexpr LPARAM kEffectEvent = 0xDF;
constexpr LPARAM kOptionEvent = 0xDB;
constexpr LPARAM kLevelEvent = 0xDC;

// One run of the service's executable.
class ServiceRun {
public:
    // Starts it and waits until it is past its start-up and serving messages.
    bool Start(const SimInstall& install, DWORD ms = 20000);
    // Starts it without waiting; WaitReady waits as Start does.
    bool Launch(const SimInstall& install);
    bool WaitReady(DWORD ms = 20000);
    // Ends it at once, as a crash or the task manager would.
    void Kill();
    bool Running() const { return m_process && m_process->Running(); }
    HWND Window() const { return m_wnd; }
    void Post(UINT msg, WPARAM wParam, LPARAM lParam) const {
        PostMessageW(m_wnd, msg, wParam, lParam);
    }
    // Asks the configuration program's way for a slot: the registered message.
    void SelectSlot(int slot) const;

private:
    std::unique_ptr<Process> m_process;
    HWND m_wnd = nullptr;
};

std::wstring ConfigPath();
// The profile file of a slot under its default name "Profile <slot>".
std::wstring SlotProfilePath(int slot);

// The keys the service keeps in config.ini and in a profile file, as
// "section/key".
const std::vector<std::string>& ConfigKeys();
const std::vector<std::string>& ProfileKeys();

// The values of those keys as the service's own engine reads the file (a
// missing key is left out); nothing when the file cannot be read.
using KeyValues = std::map<std::string, std::string>;
std::optional<KeyValues> EngineValues(const std::wstring& path,
                                      const std::vector<std::string>& keys);

// Drops the platform's cached copy of an INI file, so that its readers look
// at the file as it is on disk now.
void ForgetCachedIni(const std::wstring& path);

// The 24-byte lighting record of a profile file through the platform's
// structure reader; nothing when the value is missing or malformed.
std::optional<std::string> PlatformLightInfo(const std::wstring& path);

} // namespace orv::e2e
