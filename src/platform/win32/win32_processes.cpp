// Windows backends of the process snapshot and the installer's shortcut queries.
#include "platform/win32/dll_search.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_backends.h"

#include <windows.h>
#include <tlhelp32.h>

namespace orv::win32 {

namespace {

class ToolHelpProcesses final : public IProcesses {
public:
    bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) override {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return false;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        bool any = Process32FirstW(snapshot, &entry) != FALSE;
        if (any) {
            do {
                if (!visit({entry.th32ProcessID, U16(entry.szExeFile)}))
                    break;
            } while (Process32NextW(snapshot, &entry));
        }
        CloseHandle(snapshot);
        return any;
    }
};

// The installer's queries are taken from msi.dll by ordinal at run time, so
// the service starts on systems where the installer is missing.
class MsiInstaller final : public IInstaller {
public:
    std::uint32_t GetShortcutTarget(std::u16string_view shortcut, std::u16string& product,
                                    std::u16string& feature, std::u16string& component) override {
        using Fn = UINT(WINAPI*)(LPCWSTR, LPWSTR, LPWSTR, LPWSTR);
        auto query = reinterpret_cast<Fn>(reinterpret_cast<void*>(Entry(217)));
        if (query == nullptr)
            return kFunctionFailed;
        wchar_t p[260] = L"", f[260] = L"", c[260] = L"";
        UINT result = query(W(shortcut).c_str(), p, f, c);
        product = U16(p);
        feature = U16(f);
        component = U16(c);
        return result;
    }
    std::int32_t GetComponentPath(std::u16string_view product, std::u16string_view component,
                                  std::u16string& path) override {
        using Fn = INT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
        auto query = reinterpret_cast<Fn>(reinterpret_cast<void*>(Entry(173)));
        path.clear();
        if (query == nullptr)
            return -1;
        wchar_t buf[260] = L"";
        DWORD capacity = 260;
        INT state = query(W(product).c_str(), W(component).c_str(), buf, &capacity);
        buf[259] = 0;
        path = U16(buf);
        return state;
    }

private:
    static FARPROC Entry(WORD ordinal) {
        static HMODULE msi = LoadSystemLibrary(L"msi.dll");
        return msi ? GetProcAddress(msi, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))
                   : nullptr;
    }
};

} // namespace

IProcesses& Win32Processes() {
    static ToolHelpProcesses processes;
    return processes;
}

IInstaller& Win32Installer() {
    static MsiInstaller installer;
    return installer;
}

} // namespace orv::win32
