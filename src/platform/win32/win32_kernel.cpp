// Windows backends of the kernel services and the debugger output.
#include "platform/win32/win32_backends.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <string>

namespace orv::win32 {

namespace {

class Win32KernelServices final : public IKernel {
public:
    KernelHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, W(name).c_str());
        DWORD error = GetLastError();
        // A mutex made by another user's instance cannot be opened; it exists all the same.
        alreadyExisted =
            error == ERROR_ALREADY_EXISTS || (mutex == nullptr && error == ERROR_ACCESS_DENIED);
        return reinterpret_cast<KernelHandle>(mutex);
    }
    void ReleaseMutex(KernelHandle mutex) override {
        if (mutex != 0)
            ::ReleaseMutex(reinterpret_cast<HANDLE>(mutex));
    }
    void CloseHandle(KernelHandle handle) override {
        if (handle != 0)
            ::CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
    std::u16string ModulePath() override {
        std::wstring buf(MAX_PATH, L'\0');
        for (;;) {
            DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0)
                return {};
            if (n < buf.size())
                return U16(std::wstring_view(buf.data(), n));
            if (buf.size() >= 32768)
                return {};
            buf.resize(buf.size() * 2);
        }
    }
    std::u16string SystemErrorText(std::uint32_t code) override {
        wchar_t buf[512];
        DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buf, 512, nullptr);
        return U16(std::wstring_view(buf, n));
    }
};

class Win32DebugOutput final : public IDebugOutput {
public:
    void Write(std::u16string_view text) override { OutputDebugStringW(W(text).c_str()); }
};

} // namespace

IKernel& Win32Kernel() {
    static Win32KernelServices kernel;
    return kernel;
}

IDebugOutput& Win32Debug() {
    static Win32DebugOutput debug;
    return debug;
}

} // namespace orv::win32
