// HidDevice.dll over the Windows HID stack.
//
// Opening starts a watcher thread with a message-only window that receives
// the system's device-interface notices for HID collections; on each notice
// (and at open) it lists the HID collections present, keeps those that match
// the filter (vendor id, product id, and the usage page and usage of the
// collection's top-level capabilities), opens each new one with a reader
// thread of its own, and posts an arrival or removal notice for every change.
// Reader threads hand each input report to the callback.
//
// Transfers: a collection with output reports is written with WriteFile and
// read by taking the first input report that arrives after the latest write
// (it still goes to the callback as well); a collection with only feature
// reports is written and read with the feature-report calls. Reports shorter
// than the collection's report length are padded with zero bytes; longer ones
// are refused.
#include "device/hid_contract.h"
#include "device/hid_library.h"

#include <windows.h>

#include <dbt.h>
#include <setupapi.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The HID headers of the cross compiler do not declare C linkage themselves.
extern "C" {
#include <hidsdi.h>
}

namespace {

using orv::HID_DEVICE_FILTER;
using orv::HID_NOTIFY_RECORD;
using orv::HidInputCallback;

constexpr DWORD kTransferTimeoutMs = 1000;
constexpr UINT_PTR kRescanTimer = 1;
constexpr UINT kRescanFallbackMs = 2000;
constexpr UINT kStopWatcher = WM_APP + 1;
constexpr wchar_t kWatcherClass[] = L"OrvHidDeviceWatcher";

HMODULE g_module = nullptr;

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// ------------------------------------------------------------ one collection

struct Found {
    std::wstring path;
    USHORT usage;
    USHORT usagePage;
    USHORT inputLength;
    USHORT outputLength;
    USHORT featureLength;
};

class Collection {
public:
    Collection(const Found& found, std::uint16_t id, HANDLE handle)
        : m_found(found), m_id(id), m_handle(handle) {
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (m_found.inputLength > 0 && m_stop != nullptr)
            m_reader = std::thread([this] { ReadLoop(); });
    }
    ~Collection() {
        if (m_stop != nullptr)
            SetEvent(m_stop);
        if (m_reader.joinable())
            m_reader.join();
        CloseHandle(m_handle);
        if (m_stop != nullptr)
            CloseHandle(m_stop);
    }
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    const Found& Info() const { return m_found; }
    std::uint16_t Id() const { return m_id; }

    bool Write(const BYTE* buffer, DWORD length) {
        if (m_found.outputLength > 0) {
            std::vector<BYTE> report;
            if (!Padded(buffer, length, m_found.outputLength, report))
                return false;
            {
                std::lock_guard<std::mutex> guard(m_replyLock);
                m_reply.clear();
                m_replyWanted = true;
            }
            return Transfer(false, report.data(), static_cast<DWORD>(report.size()));
        }
        if (m_found.featureLength > 0) {
            std::vector<BYTE> report;
            return Padded(buffer, length, m_found.featureLength, report) &&
                   HidD_SetFeature(m_handle, report.data(), static_cast<ULONG>(report.size()));
        }
        return false;
    }

    bool Read(BYTE* buffer, DWORD length) {
        std::vector<BYTE> reply;
        if (m_found.outputLength > 0 && m_found.inputLength > 0) {
            std::unique_lock<std::mutex> lock(m_replyLock);
            if (!m_replyArrived.wait_for(lock, std::chrono::milliseconds(kTransferTimeoutMs),
                                         [this] { return !m_reply.empty(); }))
                return false;
            reply.swap(m_reply);
            m_replyWanted = false;
        } else if (m_found.featureLength > 0) {
            reply.assign(m_found.featureLength, 0);
            reply[0] = length > 0 ? buffer[0] : 0; // the report id asked for
            if (!HidD_GetFeature(m_handle, reply.data(), static_cast<ULONG>(reply.size())))
                return false;
        } else {
            return false;
        }
        const DWORD n = std::min<DWORD>(length, static_cast<DWORD>(reply.size()));
        std::memcpy(buffer, reply.data(), n);
        std::memset(buffer + n, 0, length - n);
        return true;
    }

private:
    static bool Padded(const BYTE* buffer, DWORD length, USHORT reportLength,
                       std::vector<BYTE>& report) {
        if (buffer == nullptr || length == 0 || length > reportLength)
            return false;
        report.assign(reportLength, 0);
        std::memcpy(report.data(), buffer, length);
        return true;
    }

    // One overlapped read or write, given up after the time limit or when
    // the collection is being closed.
    bool Transfer(bool read, BYTE* data, DWORD length, DWORD* done = nullptr) {
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ov.hEvent == nullptr)
            return false;
        BOOL started = read ? ReadFile(m_handle, data, length, nullptr, &ov)
                            : WriteFile(m_handle, data, length, nullptr, &ov);
        bool ok = false;
        DWORD transferred = 0;
        if (started || GetLastError() == ERROR_IO_PENDING) {
            HANDLE waits[2] = {ov.hEvent, m_stop};
            DWORD limit = read ? INFINITE : kTransferTimeoutMs;
            DWORD which = WaitForMultipleObjects(2, waits, FALSE, limit);
            if (which != WAIT_OBJECT_0)
                CancelIoEx(m_handle, &ov);
            ok = GetOverlappedResult(m_handle, &ov, &transferred, TRUE) && which == WAIT_OBJECT_0;
        }
        CloseHandle(ov.hEvent);
        if (done != nullptr)
            *done = transferred;
        return ok;
    }

    void ReadLoop();

    Found m_found;
    std::uint16_t m_id;
    HANDLE m_handle;
    HANDLE m_stop = nullptr;
    std::thread m_reader;

    std::mutex m_replyLock;
    std::condition_variable m_replyArrived;
    bool m_replyWanted = false;
    std::vector<BYTE> m_reply;
};

// ------------------------------------------------------------ library state
//
// The state is never destroyed: the service does not close the library when
// it ends, so threads and collections may still be open when the process
// exits, and nothing must run their destructors then.

std::mutex& g_callbackLock = *new std::mutex; // held while the callback runs
HidInputCallback g_callback = nullptr;

std::mutex& g_openLock = *new std::mutex; // one open or close at a time
std::mutex& g_lock = *new std::mutex;     // everything below
HID_DEVICE_FILTER g_filter{};
bool g_open = false;
HWND g_notifyWnd = nullptr;
UINT g_notifyMsg = 0;
auto& g_collections = *new std::map<std::uint16_t, std::shared_ptr<Collection>>;
std::uint16_t g_nextId = 1;

std::thread& g_watcher = *new std::thread;
HWND g_watcherWnd = nullptr;

void Collection::ReadLoop() {
    std::vector<BYTE> report(m_found.inputLength);
    for (;;) {
        DWORD n = 0;
        if (!Transfer(true, report.data(), static_cast<DWORD>(report.size()), &n))
            return; // closing, or the collection is gone
        if (n == 0)
            continue;
        {
            std::lock_guard<std::mutex> guard(m_replyLock);
            if (m_replyWanted && m_reply.empty()) {
                m_reply.assign(report.begin(), report.begin() + n);
                m_replyArrived.notify_all();
            }
        }
        std::lock_guard<std::mutex> guard(g_callbackLock);
        if (g_callback != nullptr)
            g_callback(m_id, report.data(), n);
    }
}

// ------------------------------------------------------------ discovery

// The HID collections present that match the filter. Called with g_lock held.
std::vector<Found> FindMatching() {
    std::vector<Found> found;
    if (g_filter.dwCount == 0)
        return found;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set =
        SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
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
        std::wstring path = detail->DevicePath;
        // Opening without access is enough to read the collection's identity,
        // even while another program holds it.
        HANDLE probe = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        HIDP_CAPS caps{};
        bool known = HidD_GetAttributes(probe, &attributes) &&
                     HidD_GetPreparsedData(probe, &preparsed) &&
                     HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
        if (preparsed != nullptr)
            HidD_FreePreparsedData(preparsed);
        CloseHandle(probe);
        if (known && orv::HidFilterMatches(g_filter, {attributes.VendorID, attributes.ProductID,
                                                      caps.UsagePage, caps.Usage})) {
            found.push_back({path, caps.Usage, caps.UsagePage, caps.InputReportByteLength,
                             caps.OutputReportByteLength, caps.FeatureReportByteLength});
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

void PostNoticeLocked(std::uint32_t status, const Collection& collection) {
    const HID_NOTIFY_RECORD* notice = orv::HidNotices().Notice(
        status, collection.Id(), collection.Info().usage, collection.Info().usagePage);
    if (g_notifyWnd != nullptr)
        PostMessageW(g_notifyWnd, g_notifyMsg, 1, reinterpret_cast<LPARAM>(notice));
}

std::uint16_t NextIdLocked() {
    while (g_nextId == 0 || g_collections.count(g_nextId) != 0)
        ++g_nextId;
    return g_nextId++;
}

// Brings the open collections in line with those present, posting a notice
// for each change; with `reportPresent` the collections already open are
// reported as arrivals again. Returns whether any matching collection is
// open. Collections that are gone are handed back, to be closed outside
// the lock (closing one waits for its reader).
bool RescanLocked(bool reportPresent, std::vector<std::shared_ptr<Collection>>& gone) {
    if (!g_open)
        return false;
    std::vector<Found> present = FindMatching();
    for (auto it = g_collections.begin(); it != g_collections.end();) {
        bool still = std::any_of(present.begin(), present.end(), [&](const Found& f) {
            return SamePath(f.path, it->second->Info().path);
        });
        if (still) {
            ++it;
            continue;
        }
        PostNoticeLocked(orv::kHidStatusRemoved, *it->second);
        gone.push_back(it->second);
        it = g_collections.erase(it);
    }
    for (const Found& f : present) {
        auto open = std::find_if(g_collections.begin(), g_collections.end(), [&](const auto& c) {
            return SamePath(f.path, c.second->Info().path);
        });
        if (open != g_collections.end()) {
            if (reportPresent)
                PostNoticeLocked(orv::kHidStatusArrived, *open->second);
            continue;
        }
        HANDLE handle = CreateFileW(f.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            continue; // held exclusively elsewhere: not usable, not reported
        const std::uint16_t id = NextIdLocked();
        auto collection = std::make_shared<Collection>(f, id, handle);
        g_collections[id] = collection;
        PostNoticeLocked(orv::kHidStatusArrived, *collection);
    }
    return !g_collections.empty();
}

void Rescan() {
    std::vector<std::shared_ptr<Collection>> gone;
    std::lock_guard<std::mutex> guard(g_lock);
    RescanLocked(false, gone);
    // `gone` is released after the lock: see RescanLocked.
}

// ------------------------------------------------------------ the watcher

LRESULT CALLBACK WatcherProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        Rescan();
        return TRUE;
    }
    if (msg == WM_TIMER && wParam == kRescanTimer) {
        Rescan();
        return 0;
    }
    if (msg == kStopWatcher) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void WatcherLoop(HANDLE ready) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WatcherProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kWatcherClass;
    RegisterClassExW(&wc);
    HWND wnd = CreateWindowExW(0, kWatcherClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               g_module, nullptr);
    g_watcherWnd = wnd;
    HDEVNOTIFY notify = nullptr;
    if (wnd != nullptr) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        HidD_GetHidGuid(&filter.dbcc_classguid);
        notify = RegisterDeviceNotificationW(wnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        // Without the system's notices, look again now and then.
        if (notify == nullptr)
            SetTimer(wnd, kRescanTimer, kRescanFallbackMs, nullptr);
    }
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

bool StartWatcher() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr)
        return false;
    g_watcherWnd = nullptr;
    g_watcher = std::thread(WatcherLoop, ready);
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (g_watcherWnd == nullptr) {
        g_watcher.join();
        return false;
    }
    return true;
}

void StopWatcher() {
    if (!g_watcher.joinable())
        return;
    PostMessageW(g_watcherWnd, kStopWatcher, 0, 0);
    g_watcher.join();
    g_watcherWnd = nullptr;
}

std::shared_ptr<Collection> FindCollection(DWORD deviceId) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_collections.find(static_cast<std::uint16_t>(deviceId & 0xFFFF));
    return it == g_collections.end() ? nullptr : it->second;
}

} // namespace

extern "C" {

BOOL WINAPI HidSetFilter(const HID_DEVICE_FILTER* filter, DWORD) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_filter = filter != nullptr ? *filter : HID_DEVICE_FILTER{};
    return TRUE;
}

BOOL WINAPI HidSetCallback(HidInputCallback callback, DWORD) {
    std::lock_guard<std::mutex> guard(g_callbackLock);
    g_callback = callback;
    return TRUE;
}

BOOL WINAPI HidOpen(HWND notifyWnd, UINT notifyMsg, DWORD) {
    std::lock_guard<std::mutex> open(g_openLock);
    if (!g_watcher.joinable() && !StartWatcher())
        return FALSE;
    std::vector<std::shared_ptr<Collection>> gone;
    std::lock_guard<std::mutex> guard(g_lock);
    g_open = true;
    g_notifyWnd = notifyWnd;
    g_notifyMsg = notifyMsg;
    return RescanLocked(true, gone) ? TRUE : FALSE;
}

BOOL WINAPI HidClose(DWORD) {
    std::lock_guard<std::mutex> open(g_openLock);
    std::map<std::uint16_t, std::shared_ptr<Collection>> closing;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_open = false;
        g_notifyWnd = nullptr;
        closing.swap(g_collections);
    }
    StopWatcher();
    closing.clear(); // stops every reader and closes its handle
    return TRUE;
}

BOOL WINAPI HidWrite(DWORD deviceId, BYTE* buffer, DWORD length, DWORD) {
    std::shared_ptr<Collection> collection = FindCollection(deviceId);
    return collection != nullptr && collection->Write(buffer, length) ? TRUE : FALSE;
}

BOOL WINAPI HidRead(DWORD deviceId, BYTE* buffer, DWORD length, DWORD) {
    std::shared_ptr<Collection> collection = FindCollection(deviceId);
    return collection != nullptr && buffer != nullptr && length > 0 &&
                   collection->Read(buffer, length)
               ? TRUE
               : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

} // extern "C"
