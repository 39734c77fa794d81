// orvctl's link to the Windows service: the suite's window messages to the
// service's main window "Orvane_Hid", the registered message broadcast as
// the configuration program does, and what the service keeps for the suite
// (the registry values, config.ini).
//
// watch stands for none of the suite's windows: the service looks windows up
// by title and takes the first, so a window of ours titled "Orvane",
// "Orvane_TrayIcon" or "DLGLoading" would take the real program's notices
// (and the tray program's title is its guard against a second start). It
// opens a hidden top-level window of its own title, which gets every
// broadcast, and follows the stored state the service changes: the current
// slot in config.ini, the plug state and firmware version in the registry.
#include "service_link.h"

#include "../common/suite_messages.h"
#include "base/wstr.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"
#include "storage/ini_file.h"
#include "storage/settings.h"

#include <windows.h>

#include <iostream>

namespace orv::ctl {
namespace {

constexpr wchar_t kRegistryKey[] = L"SOFTWARE\\Orvane";
constexpr wchar_t kWatchTitle[] = L"orvctl watch";
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;

HWND ServiceWindow() {
    return FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(kMainWindowTitle));
}

std::string Utf8(const wchar_t* text) {
    return ToUtf8(reinterpret_cast<const char16_t*>(text));
}

bool RegistryDword(const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

bool RegistryText(const wchar_t* name, std::string& value) {
    wchar_t buf[256] = L"";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
        ERROR_SUCCESS)
        return false;
    value = Utf8(buf);
    return true;
}

// The registry values when the suite's key exists (the service never makes
// it), else their copies in config.ini; the slot as the service last saved it.
void ReadStoredState(ServiceState& state) {
    CIniFile config(SettingsFilePath());
    DWORD plugged = 0;
    state.plugged = RegistryDword(L"DevicePlug", plugged)
                        ? plugged != 0
                        : config.ReadInt(u"Setting", u"Plug", 0) != 0;
    if (!RegistryText(L"FWVersion", state.firmware))
        state.firmware = ToUtf8(config.ReadString(u"Setting", u"FWVersion", u""));
    // As the service reads it: the low byte, out of range repaired to 1.
    int slot = config.ReadInt(u"Setting", u"Profile", 1) & 0xFF;
    state.slot = slot < kSlotCount ? slot : 1;
}

class Win32Link : public IServiceLink {
public:
    bool ReadState(ServiceState& state) override {
        if (ServiceWindow() == nullptr)
            return false;
        ReadStoredState(state);
        return true;
    }
    ExitCode SelectSlot(int slot) override { return Broadcast(kSyncSelectSlot, slot); }
    ExitCode TemporarySlot(int slot) override { return Broadcast(kSyncTemporarySwitch, slot + 1); }
    ExitCode ReturnSlot() override { return Broadcast(kSyncTemporarySwitch, -1); }
    ExitCode Upload(bool lighting) override {
        return PostToService(WM_HID_UPLOAD, lighting ? 1 : 0);
    }
    ExitCode UploadSlot(int slot) override {
        return PostToService(WM_HID_UPLOAD_SLOT, static_cast<WPARAM>(slot));
    }
    ExitCode Reload() override { return PostToService(WM_HID_RELOAD, 0); }
    ExitCode Watch(const std::function<void(const WatchEvent&)>& onEvent) override;

private:
    static ExitCode PostToService(UINT msg, WPARAM wParam) {
        HWND service = ServiceWindow();
        if (service == nullptr)
            return kExitNoService;
        return PostMessageW(service, msg, wParam, 0) ? kExitOk : kExitFailed;
    }
    // To every top-level window, the service's included, as the suite does it.
    static ExitCode Broadcast(WPARAM code, LPARAM value) {
        if (ServiceWindow() == nullptr)
            return kExitNoService;
        return PostMessageW(HWND_BROADCAST, orv::tools::SyncMessage(), code, value) ? kExitOk
                                                                                    : kExitFailed;
    }
};

// What watch last told, so only changes are told again.
struct Watcher {
    const std::function<void(const WatchEvent&)>* onEvent = nullptr;
    UINT sync = 0;
    int running = -1;
    ServiceState last;
    bool haveState = false;

    void Tell(WatchEvent::Kind kind, std::int64_t value, const std::string& text = {}) const {
        WatchEvent event;
        event.kind = kind;
        event.value = value;
        event.text = text;
        (*onEvent)(event);
    }

    void Poll() {
        bool up = ServiceWindow() != nullptr;
        if (static_cast<int>(up) != running) {
            running = up ? 1 : 0;
            Tell(up ? WatchEvent::kServiceUp : WatchEvent::kServiceDown, 0);
            haveState = false;
        }
        if (!up)
            return;
        ServiceState now;
        ReadStoredState(now);
        if (!haveState || now.slot != last.slot)
            Tell(WatchEvent::kSlot, now.slot);
        if (!haveState || now.plugged != last.plugged)
            Tell(WatchEvent::kPlugged, now.plugged ? 1 : 0);
        if (!haveState || now.firmware != last.firmware)
            Tell(WatchEvent::kFirmware, 0, now.firmware);
        last = now;
        haveState = true;
    }
};

Watcher* g_watcher = nullptr;
DWORD g_watchThread = 0;

LRESULT CALLBACK WatchProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_watcher != nullptr) {
        if (msg == WM_TIMER && wParam == kPollTimer) {
            g_watcher->Poll();
            return 0;
        }
        if (msg == g_watcher->sync) {
            WatchEvent event;
            event.kind = WatchEvent::kSync;
            event.code = wParam;
            event.value = lParam;
            (*g_watcher->onEvent)(event);
            return 0;
        }
        // Other broadcasts in the suite's range of private messages.
        if (msg >= WM_USER && msg < 0x8000) {
            WatchEvent event;
            event.kind = WatchEvent::kMessage;
            event.text = "*";
            event.msg = msg;
            event.wParam = wParam;
            event.lParam = lParam;
            (*g_watcher->onEvent)(event);
            return 0;
        }
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

BOOL WINAPI OnConsoleBreak(DWORD) {
    PostThreadMessageW(g_watchThread, WM_QUIT, 0, 0);
    return TRUE;
}

ExitCode Win32Link::Watch(const std::function<void(const WatchEvent&)>& onEvent) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WatchProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvctlWatch";
    RegisterClassW(&wc);
    Watcher watcher;
    watcher.onEvent = &onEvent;
    watcher.sync = orv::tools::SyncMessage();
    // A top-level window (a message-only one gets no broadcasts), never shown.
    HWND wnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, kWatchTitle, WS_POPUP, 0, 0, 1,
                               1, nullptr, nullptr, wc.hInstance, nullptr);
    if (wnd == nullptr) {
        std::cerr << "orvctl: cannot open a window to listen with\n";
        return kExitFailed;
    }
    g_watcher = &watcher;
    g_watchThread = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    watcher.Poll();
    SetTimer(wnd, kPollTimer, kPollMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
    g_watcher = nullptr;
    DestroyWindow(wnd);
    return kExitOk;
}

} // namespace

std::unique_ptr<IServiceLink> OpenServiceLink() {
    return std::make_unique<Win32Link>();
}

} // namespace orv::ctl

int wmain(int argc, wchar_t** argv) {
    orv::win32::RestrictDllSearch();
    orv::win32::InstallWin32Platform();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(orv::ctl::Utf8(argv[i]));
    return orv::ctl::Main(args);
}
