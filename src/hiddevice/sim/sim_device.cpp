// The simulated HidDevice.dll: the simulated keyboard behind the library's
// six exports, with a control window that other processes (simctl, tests,
// the demo) use to plug and unplug it, send input reports and set its
// answers, and a traffic log file. See docs/sim-keyboard.md.
#include "device/sim/sim_keyboard.h"

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

std::wstring Environment(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

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
            return log.Start(path == std::string::npos ? L"" : Widen(command.substr(path))) ? 0
                                                                                            : -1;
        }
        if (start != std::string::npos && command.substr(start) == "log")
            return log.Start(L"") ? 0 : -1;
        return orv::sim::RunSimCommand(keyboard, command);
    }
};

Simulator* g_sim = nullptr;
HANDLE g_ready = nullptr;

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->dwData != kControlDataId || data->lpData == nullptr)
            return -1;
        std::string command(static_cast<const char*>(data->lpData), data->cbData);
        while (!command.empty() && command.back() == '\0')
            command.pop_back();
        // Input reports reach the service's callback from this thread: the
        // library's own, as with a real keyboard.
        return g_sim->Run(command);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The library's own thread: it owns the control window.
DWORD WINAPI ControlThread(void*) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kControlClass;
    RegisterClassExW(&wc);
    HWND wnd = CreateWindowExW(0, kControlClass, kControlTitle, WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, g_module, nullptr);
    SetEvent(g_ready);
    if (wnd == nullptr)
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void StartSimulator() {
    g_sim = new Simulator;
    g_sim->keyboard.onEvent = [](const SimEvent& event) { g_sim->log.Write(event); };
    std::wstring logPath = Environment(L"ORV_SIM_LOG");
    g_sim->log.Start(logPath.empty() ? DefaultLogPath() : logPath);
    // Commands to run before the library is first used, separated by ';'.
    std::string start = Narrow(Environment(L"ORV_SIM_START"));
    std::size_t from = 0;
    while (from <= start.size()) {
        std::size_t end = start.find(';', from);
        if (end == std::string::npos)
            end = start.size();
        std::string command = start.substr(from, end - from);
        if (command.find_first_not_of(' ') != std::string::npos)
            g_sim->Run(command);
        from = end + 1;
    }
}

// Every entry waits until the control window exists, so that a test that
// loads the library can reach the control channel as soon as any entry
// point has returned.
SimKeyboard& Keyboard() {
    static std::once_flag once;
    std::call_once(once, [] { WaitForSingleObject(g_ready, 5000); });
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
        g_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        StartSimulator();
        // The thread runs once the loader is done; nothing here waits for it.
        HANDLE thread = CreateThread(nullptr, 0, ControlThread, nullptr, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
        else
            SetEvent(g_ready);
    }
    return TRUE;
}

} // extern "C"
