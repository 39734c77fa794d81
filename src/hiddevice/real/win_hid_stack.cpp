#include "hiddevice/real/win_hid_stack.h"

#include <windows.h>

#include <dbt.h>
#include <setupapi.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The HID headers of the cross compiler do not declare C linkage themselves.
extern "C" {
#include <hidsdi.h>
}

namespace orv::hid {

namespace {

constexpr UINT_PTR kRescanTimer = 1;
constexpr UINT kRescanFallbackMs = 2000;
constexpr UINT kStopWatcher = WM_APP + 1;
constexpr wchar_t kWatcherClass[] = L"OrvHidDeviceWatcher";

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

IoStatus FromError(DWORD error) {
    return error == ERROR_DEVICE_NOT_CONNECTED ? IoStatus::NotConnected : IoStatus::Failed;
}

class WinHidHandle final : public IHidHandle {
public:
    explicit WinHidHandle(HANDLE handle)
        : m_handle(handle), m_cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WinHidHandle() override {
        CloseHandle(m_handle);
        if (m_cancel != nullptr)
            CloseHandle(m_cancel);
    }
    WinHidHandle(const WinHidHandle&) = delete;
    WinHidHandle& operator=(const WinHidHandle&) = delete;

    IoStatus Read(std::uint8_t* buffer, std::size_t length, std::size_t& got,
                  std::uint32_t limitMs) override {
        return Transfer(true, buffer, length, limitMs, got);
    }

    IoStatus Write(const std::uint8_t* report, std::size_t length, std::uint32_t limitMs) override {
        std::size_t done = 0;
        const IoStatus status =
            Transfer(false, const_cast<std::uint8_t*>(report), length, limitMs, done);
        return status == IoStatus::Done && done != length ? IoStatus::Failed : status;
    }

    IoStatus GetFeature(std::uint8_t* buffer, std::size_t length) override {
        if (HidD_GetFeature(m_handle, buffer, static_cast<ULONG>(length)))
            return IoStatus::Done;
        return FromError(GetLastError());
    }

    IoStatus SetFeature(const std::uint8_t* report, std::size_t length) override {
        if (HidD_SetFeature(m_handle, const_cast<std::uint8_t*>(report), static_cast<ULONG>(length)))
            return IoStatus::Done;
        return FromError(GetLastError());
    }

    void Cancel() override {
        if (m_cancel != nullptr)
            SetEvent(m_cancel);
    }

private:
    // One overlapped transfer, given up (and cancelled) when the limit runs
    // out or Cancel is called; a transfer that completes while it is being
    // cancelled still counts.
    IoStatus Transfer(bool read, std::uint8_t* data, std::size_t length, std::uint32_t limitMs,
                      std::size_t& done) {
        done = 0;
        if (m_cancel == nullptr)
            return IoStatus::Failed;
        if (WaitForSingleObject(m_cancel, 0) == WAIT_OBJECT_0)
            return IoStatus::Cancelled;
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ov.hEvent == nullptr)
            return IoStatus::Failed;
        const DWORD size = static_cast<DWORD>(length);
        const BOOL started = read ? ReadFile(m_handle, data, size, nullptr, &ov)
                                  : WriteFile(m_handle, data, size, nullptr, &ov);
        IoStatus status = IoStatus::Done;
        if (!started && GetLastError() != ERROR_IO_PENDING) {
            status = FromError(GetLastError());
        } else {
            HANDLE waits[2] = {ov.hEvent, m_cancel};
            const DWORD which = WaitForMultipleObjects(2, waits, FALSE, limitMs == kNoTimeLimit ? INFINITE : limitMs);
            if (which != WAIT_OBJECT_0)
                CancelIoEx(m_handle, &ov);
            DWORD transferred = 0;
            if (GetOverlappedResult(m_handle, &ov, &transferred, TRUE)) {
                done = transferred;
            } else if (which == WAIT_OBJECT_0) {
                status = FromError(GetLastError());
            } else {
                status = which == WAIT_OBJECT_0 + 1 ? IoStatus::Cancelled : IoStatus::TimedOut;
            }
        }
        CloseHandle(ov.hEvent);
        return status;
    }

    HANDLE m_handle;
    HANDLE m_cancel;
};

class WinHidStack final : public IHidStack {
public:
    explicit WinHidStack(HMODULE module) : m_module(module) {}
    ~WinHidStack() override { Watch({}); }

    std::vector<CollectionInfo> Enumerate() override {
        std::vector<CollectionInfo> found;
        GUID hidGuid;
        HidD_GetHidGuid(&hidGuid);
        HDEVINFO set = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE)
            return found;
        SP_DEVICE_INTERFACE_DATA item{};
        item.cbSize = sizeof item;
        for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &item);
             ++index) {
            DWORD size = 0;
            SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &size, nullptr);
            if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
                continue;
            std::vector<BYTE> buffer(size);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (!SetupDiGetDeviceInterfaceDetailW(set, &item, detail, size, nullptr, nullptr))
                continue;
            const std::wstring path = detail->DevicePath;
            // Opening without access is enough to read the collection's
            // identity, even while another program holds it.
            HANDLE probe = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
            if (probe == INVALID_HANDLE_VALUE)
                continue;
            HIDD_ATTRIBUTES attributes{};
            attributes.Size = sizeof attributes;
            PHIDP_PREPARSED_DATA preparsed = nullptr;
            HIDP_CAPS caps{};
            const bool known = HidD_GetAttributes(probe, &attributes) &&
                               HidD_GetPreparsedData(probe, &preparsed) &&
                               HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
            if (preparsed != nullptr)
                HidD_FreePreparsedData(preparsed);
            CloseHandle(probe);
            if (!known)
                continue;
            CollectionInfo info;
            info.path.assign(reinterpret_cast<const char16_t*>(path.c_str()), path.size());
            info.vendorId = attributes.VendorID;
            info.productId = attributes.ProductID;
            info.usagePage = caps.UsagePage;
            info.usage = caps.Usage;
            info.inputLength = caps.InputReportByteLength;
            info.outputLength = caps.OutputReportByteLength;
            info.featureLength = caps.FeatureReportByteLength;
            found.push_back(std::move(info));
        }
        SetupDiDestroyDeviceInfoList(set);
        return found;
    }

    std::unique_ptr<IHidHandle> Open(const std::u16string& path) override {
        HANDLE handle = CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr; // held exclusively elsewhere, or gone
        return std::make_unique<WinHidHandle>(handle);
    }

    void Watch(std::function<void()> onChange) override {
        std::lock_guard<std::mutex> guard(m_watchLock);
        if (m_thread.joinable()) {
            PostMessageW(m_wnd, kStopWatcher, 0, 0);
            m_thread.join();
            m_wnd = nullptr;
        }
        m_onChange = std::move(onChange);
        if (!m_onChange)
            return;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ready == nullptr)
            return;
        m_thread = std::thread([this, ready] { Loop(ready); });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
        if (m_wnd == nullptr)
            m_thread.join();
    }

    bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return PostMessageW(reinterpret_cast<HWND>(wnd), msg, wParam, lParam) != FALSE;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<WinHidStack*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_DEVICECHANGE &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            if (self != nullptr)
                self->m_onChange();
            return TRUE;
        }
        if (msg == WM_TIMER && wParam == kRescanTimer) {
            if (self != nullptr)
                self->m_onChange();
            return 0;
        }
        if (msg == kStopWatcher) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    void Loop(HANDLE ready) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = m_module;
        wc.lpszClassName = kWatcherClass;
        RegisterClassExW(&wc);
        HWND wnd = CreateWindowExW(0, kWatcherClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   m_module, nullptr);
        HDEVNOTIFY notify = nullptr;
        if (wnd != nullptr) {
            SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            HidD_GetHidGuid(&filter.dbcc_classguid);
            notify = RegisterDeviceNotificationW(wnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            // Without the system's notices, look again now and then.
            if (notify == nullptr)
                SetTimer(wnd, kRescanTimer, kRescanFallbackMs, nullptr);
        }
        m_wnd = wnd;
        SetEvent(ready);
        if (wnd == nullptr)
            return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        if (notify != nullptr)
            UnregisterDeviceNotification(notify);
        DestroyWindow(wnd);
    }

    HMODULE m_module;
    std::mutex m_watchLock; // one Watch at a time
    std::function<void()> m_onChange;
    std::thread m_thread;
    HWND m_wnd = nullptr;
};

} // namespace

std::unique_ptr<IHidStack> MakeWindowsHidStack(void* module) {
    return std::make_unique<WinHidStack>(static_cast<HMODULE>(module));
}

} // namespace orv::hid
