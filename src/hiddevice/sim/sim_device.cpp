// The simulated HidDevice.dll: the simulated keyboard behind the library's
// six exports, with a control window that other processes (simctl, tests,
// the demo) use to plug and unplug it, send input reports and set its
// answers, and a traffic log file. See docs/sim-keyboard.md.
#include "device/sim/sim_keyboard.h"
#include "hiddevice/control/control_channel.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace {

using orv::sim::SimEvent;
using orv::sim::SimKeyboard;

constexpr wchar_t kControlClass[] = L"OrvSimKeyboard";
constexpr wchar_t kControlTitle[] = L"OrvaneSimKeyboard";
constexpr ULONG_PTR kControlDataId = 0x4B4D4953; // "SIMK"

class WindowsEnvironment final : public orv::sim::ISimEnvironment {
public:
    std::uint32_t Now() override { return GetTickCount(); }
    bool Post(orv::WndHandle wnd, orv::MsgId msg, orv::WParam wParam, orv::LParam lParam) override {
        return PostMessageW(reinterpret_cast<HWND>(wnd), msg, wParam, lParam) != FALSE;
    }
};

HMODULE g_module = nullptr;

// The traffic log: one line per event, flushed at once so that a reader in
// another process sees it while the keyboard runs.
class TrafficLog {
public:
    // Starts a new log at this path (an empty path stops logging).
    bool Start(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_file != nullptr)
            std::fclose(m_file);
        m_file = path.empty() ? nullptr : _wfopen(path.c_str(), L"wb");
        return path.empty() || m_file != nullptr;
    }
    void Write(const SimEvent& event) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_file == nullptr)
            return;
        std::string line = orv::sim::FormatSimEvent(event) + "\r\n";
        std::fwrite(line.data(), 1, line.size(), m_file);
        std::fflush(m_file);
    }

private:
    std::mutex m_lock;
    FILE* m_file = nullptr;
};

std::wstring DefaultLogPath() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_module, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return L"";
    std::wstring path(buf, n);
    std::size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) +
           L"HidDevice.log";
}

struct Simulator {
    WindowsEnvironment env;
    TrafficLog log;
    SimKeyboard keyboard{env};

    // Runs one control command; "log <path>" is handled here, the rest by
    // the keyboard.
    long Run(const std::string& command) {
        std::size_t start = command.find_first_not_of(' ');
        if (start != std::string::npos && command.compare(start, 4, "log ") == 0) {
            std::size_t path = command.find_first_not_of(' ', start + 4);
            return log.Start(path == std::string::npos ? L""
                                                       : orv::hid::FromUtf8(command.substr(path)))
                       ? 0
                       : -1;
        }
        if (start != std::string::npos && command.substr(start) == "log")
            return log.Start(L"") ? 0 : -1;
        return orv::sim::RunSimCommand(keyboard, command);
    }
};

Simulator* g_sim = nullptr;

long RunCommand(const std::string& command) {
    return g_sim->Run(command);
}

void StartSimulator() {
    g_sim = new Simulator;
    g_sim->keyboard.onEvent = [](const SimEvent& event) { g_sim->log.Write(event); };
    std::wstring logPath = orv::hid::EnvironmentText(L"ORV_SIM_LOG");
    g_sim->log.Start(logPath.empty() ? DefaultLogPath() : logPath);
    // Commands to run before the library is first used, separated by ';'.
    orv::hid::RunStartCommands(L"ORV_SIM_START", RunCommand);
}

// Every entry waits until the control window exists, so that a test that
// loads the library can reach the control channel as soon as any entry
// point has returned.
SimKeyboard& Keyboard() {
    orv::hid::WaitForControlChannel();
    return g_sim->keyboard;
}

} // namespace

extern "C" {

BOOL WINAPI HidSetFilter(const orv::HID_DEVICE_FILTER* filter, DWORD reserved) {
    return Keyboard().SetFilter(filter, reserved);
}

BOOL WINAPI HidSetCallback(orv::HidInputCallback callback, DWORD reserved) {
    return Keyboard().SetCallback(callback, reserved);
}

BOOL WINAPI HidOpen(HWND notifyWnd, UINT notifyMsg, DWORD reserved) {
    return Keyboard().Open(reinterpret_cast<orv::WndHandle>(notifyWnd), notifyMsg, reserved);
}

BOOL WINAPI HidClose(DWORD reserved) {
    return Keyboard().Close(reserved);
}

BOOL WINAPI HidWrite(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved) {
    return Keyboard().Write(deviceId, buffer, length, reserved);
}

BOOL WINAPI HidRead(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved) {
    return Keyboard().Read(deviceId, buffer, length, reserved);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        StartSimulator();
        orv::hid::StartControlChannel(instance,
                                      {kControlClass, kControlTitle, kControlDataId, RunCommand});
    }
    return TRUE;
}

} // extern "C"
