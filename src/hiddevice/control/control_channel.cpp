#include "hiddevice/control/control_channel.h"

#include <mutex>

namespace orv::hid {

namespace {

HMODULE g_module = nullptr;
HANDLE g_ready = nullptr;
ControlChannel g_channel{};

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->dwData != g_channel.dataId || data->lpData == nullptr)
            return -1;
        std::string command(static_cast<const char*>(data->lpData), data->cbData);
        while (!command.empty() && command.back() == '\0')
            command.pop_back();
        // Input reports reach the service's callback from this thread: the
        // library's own, as with a real keyboard.
        return g_channel.run(command);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

DWORD WINAPI ControlThread(void*) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = g_module;
    wc.lpszClassName = g_channel.className;
    RegisterClassExW(&wc);
    HWND wnd = CreateWindowExW(0, g_channel.className, g_channel.title, WS_POPUP, 0, 0, 1, 1,
                               nullptr, nullptr, g_module, nullptr);
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

} // namespace

void StartControlChannel(HMODULE module, const ControlChannel& channel) {
    g_module = module;
    g_channel = channel;
    g_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, ControlThread, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    else
        SetEvent(g_ready);
}

void WaitForControlChannel() {
    static std::once_flag once;
    std::call_once(once, [] { WaitForSingleObject(g_ready, 5000); });
}

void RunStartCommands(const wchar_t* variable, ControlHandler run) {
    const std::string start = Utf8(EnvironmentText(variable));
    std::size_t from = 0;
    while (from <= start.size()) {
        std::size_t end = start.find(';', from);
        if (end == std::string::npos)
            end = start.size();
        const std::string command = start.substr(from, end - from);
        if (command.find_first_not_of(' ') != std::string::npos)
            run(command);
        from = end + 1;
    }
}

std::wstring EnvironmentText(const wchar_t* name) {
    wchar_t buf[1024];
    const DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace orv::hid
