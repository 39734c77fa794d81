#include "platform/win32/win32_hid_library.h"

#include "platform/win32/dll_search.h"
#include "platform/win32/wide.h"

#include <windows.h>

#include <mutex>

namespace orv::win32 {

namespace {

using SetFilterFn = BOOL(WINAPI*)(const HID_DEVICE_FILTER*, DWORD);
using SetCallbackFn = BOOL(WINAPI*)(HidInputCallback, DWORD);
using OpenFn = BOOL(WINAPI*)(HWND, UINT, DWORD);
using CloseFn = BOOL(WINAPI*)(DWORD);
using TransferFn = BOOL(WINAPI*)(DWORD, BYTE*, DWORD, DWORD);

template <typename Fn> Fn Entry(HMODULE module, WORD ordinal) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
}

class DllHidLibrary final : public IHidLibrary {
public:
    explicit DllHidLibrary(std::u16string_view path) {
        // The library's own dependencies are looked for beside it, then in
        // the system folder: whoever can write beside it could replace the
        // library itself, and nothing comes from the current folder.
        HMODULE module = LoadLibraryAt(W(path));
        if (module == nullptr)
            return;
        m_setFilter = Entry<SetFilterFn>(module, 4);
        m_setCallback = Entry<SetCallbackFn>(module, 5);
        m_open = Entry<OpenFn>(module, 2);
        m_close = Entry<CloseFn>(module, 3);
        m_write = Entry<TransferFn>(module, 7);
        m_read = Entry<TransferFn>(module, 8);
        // A partial library is never called. Neither kind is unloaded: the
        // library may have started threads of its own.
        m_complete = m_setFilter && m_setCallback && m_open && m_close && m_write && m_read;
    }

    std::int32_t SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t reserved) override {
        return m_complete ? m_setFilter(filter, reserved) : 0;
    }
    std::int32_t SetCallback(HidInputCallback callback, std::uint32_t reserved) override {
        return m_complete ? m_setCallback(callback, reserved) : 0;
    }
    std::int32_t Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t reserved) override {
        return m_complete ? m_open(reinterpret_cast<HWND>(notifyWnd), notifyMsg, reserved) : 0;
    }
    std::int32_t Close(std::uint32_t reserved) override {
        return m_complete ? m_close(reserved) : 0;
    }
    std::int32_t Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t reserved) override {
        return m_complete ? m_write(deviceId, buffer, length, reserved) : 0;
    }
    std::int32_t Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t reserved) override {
        return m_complete ? m_read(deviceId, buffer, length, reserved) : 0;
    }

private:
    bool m_complete = false;
    SetFilterFn m_setFilter = nullptr;
    SetCallbackFn m_setCallback = nullptr;
    OpenFn m_open = nullptr;
    CloseFn m_close = nullptr;
    TransferFn m_write = nullptr;
    TransferFn m_read = nullptr;
};

std::u16string ExecutableFolderPath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        if (buf.size() >= 32768)
            return {};
        buf.resize(buf.size() * 2);
    }
    std::size_t slash = buf.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::u16string() : U16(buf.substr(0, slash + 1));
}

// Loads the library beside the executable when it is first used.
class ExecutableLibrary final : public IHidLibrary {
public:
    std::int32_t SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t reserved) override {
        return Get().SetFilter(filter, reserved);
    }
    std::int32_t SetCallback(HidInputCallback callback, std::uint32_t reserved) override {
        return Get().SetCallback(callback, reserved);
    }
    std::int32_t Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t reserved) override {
        return Get().Open(notifyWnd, notifyMsg, reserved);
    }
    std::int32_t Close(std::uint32_t reserved) override { return Get().Close(reserved); }
    std::int32_t Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t reserved) override {
        return Get().Write(deviceId, buffer, length, reserved);
    }
    std::int32_t Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t reserved) override {
        return Get().Read(deviceId, buffer, length, reserved);
    }

private:
    IHidLibrary& Get() {
        std::call_once(m_once, [this] {
            std::u16string folder = ExecutableFolderPath();
            if (!folder.empty())
                m_library = LoadHidLibrary(folder + u"HidDevice.dll");
        });
        return m_library ? *m_library : m_absent;
    }

    std::once_flag m_once;
    std::unique_ptr<IHidLibrary> m_library;
    CAbsentHidLibrary m_absent;
};

} // namespace

std::unique_ptr<IHidLibrary> LoadHidLibrary(std::u16string_view dllPath) {
    return std::make_unique<DllHidLibrary>(dllPath);
}

IHidLibrary& ExecutableHidLibrary() {
    static ExecutableLibrary library;
    return library;
}

} // namespace orv::win32
