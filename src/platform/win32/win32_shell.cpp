// Windows backend of the shell services: the application-data folder,
// starting programs and resolving shortcuts through the shell link object.
#include "platform/win32/win32_backends.h"

#include "platform/win32/wide.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace orv::win32 {

namespace {

class Win32ShellServices final : public IShell {
public:
    std::u16string AppDataFolder() override {
        wchar_t buf[MAX_PATH];
        if (SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                             SHGFP_TYPE_CURRENT, buf) != S_OK)
            return {};
        return U16(buf);
    }
    bool Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                 int showCmd) override {
        std::wstring wfile = W(file);
        std::wstring wparams = W(params);
        HINSTANCE result =
            ShellExecuteW(nullptr, W(verb), wfile.c_str(), wparams.c_str(), nullptr, showCmd);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
    bool ResolveShellLink(std::u16string_view link, std::u16string& target) override {
        // COM is initialised once for the user-interface thread at start-up.
        IShellLinkW* shellLink = nullptr;
        IPersistFile* file = nullptr;
        bool resolved = false;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkW, reinterpret_cast<void**>(&shellLink))) &&
            SUCCEEDED(
                shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load(W(link).c_str(), STGM_READ))) {
            wchar_t buf[MAX_PATH] = L"";
            resolved = shellLink->GetPath(buf, MAX_PATH, nullptr, 0) == S_OK;
            if (resolved)
                target = U16(buf);
        }
        if (file != nullptr)
            file->Release();
        if (shellLink != nullptr)
            shellLink->Release();
        return resolved;
    }
};

} // namespace

IShell& Win32Shell() {
    static Win32ShellServices shell;
    return shell;
}

} // namespace orv::win32
