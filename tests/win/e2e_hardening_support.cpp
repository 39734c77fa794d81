#include "e2e_hardening_support.h"

#include "base/wstr.h"
#include "platform/win32/win32_platform.h"
#include "storage/ini_text.h"

namespace orv::e2e {

bool ServiceRun::Start(const SimInstall& install, DWORD ms) {
    return Launch(install) && WaitReady(ms);
}

bool ServiceRun::Launch(const SimInstall& install) {
    m_process = std::make_unique<Process>();
    m_wnd = nullptr;
    return m_process->Start(install.Exe());
}

bool ServiceRun::WaitReady(DWORD ms) {
    if (!m_process)
        return false;
    DWORD start = GetTickCount();
    for (;;) {
        // The window exists while its creation (the whole reload) still runs;
        // a sent message is only answered once the service pumps messages.
        HWND wnd = FindWindowW(nullptr, L"Orvane_Hid");
        DWORD_PTR result = 0;
        if (wnd != nullptr &&
            SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_NORMAL, ms, &result) != 0) {
            m_wnd = wnd;
            return true;
        }
        if (!m_process->Running() || GetTickCount() - start >= ms)
            return false;
        Sleep(5);
    }
}

void ServiceRun::Kill() {
    if (!m_process)
        return;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, m_process->Id());
    if (process != nullptr) {
        TerminateProcess(process, 9);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    m_process.reset();
    m_wnd = nullptr;
}

void ServiceRun::SelectSlot(int slot) const {
    static const UINT sync = RegisterWindowMessageW(L"QUIV_DEV_SYNC");
    Post(sync, 0, slot);
}

std::wstring ConfigPath() {
    return DataDir() + L"config.ini";
}

std::wstring SlotProfilePath(int slot) {
    return DataDir() + L"Profiles\\Profile " + std::to_wstring(slot) + L".ini";
}

const std::vector<std::string>& ConfigKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const char* key : {"Profile", "KeyMode", "PollingRate", "Language", "OSD_Color",
                                "OSD_Profile", "OSD_Effect", "UI_Autorun", "SyncMode"})
            k.push_back(std::string("Setting/") + key);
        k.push_back("MyXlistNumber/TotalListNumber");
        for (int slot = 1; slot <= 6; ++slot)
            k.push_back("ProfileData/Mode_" + std::to_string(slot));
        for (int n = 0; n < 6; ++n) {
            for (const char* key : {"ProfileID", "ProfileName", "ProfileIconName", "ProfileColor"})
                k.push_back("MyXlistIconInfo" + std::to_string(n) + "/" + key);
        }
        return k;
    }();
    return keys;
}

const std::vector<std::string>& ProfileKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k{"GROUP/CurrentProfileName"};
        for (int i = 0; i < 5; ++i)
            k.push_back("GROUP/LinkExe" + std::to_string(i));
        k.push_back("GROUP/LIGHT_INFO");
        for (int i = 0; i < 5; ++i)
            k.push_back("GROUP/LIGHT_DATA_" + std::to_string(i));
        for (int part = 1; part <= 12; ++part)
            k.push_back("GROUP/BUTTON_INFO_PART" + std::to_string(part));
        return k;
    }();
    return keys;
}

std::optional<KeyValues> EngineValues(const std::wstring& path,
                                      const std::vector<std::string>& keys) {
    if (!PathExists(path))
        return std::nullopt;
    // 8-bit files decode through the platform's code pages.
    win32::InstallWin32Platform();
    ini::Document doc = ini::Document::Parse(ReadFileBytes(path));
    KeyValues values;
    for (const std::string& name : keys) {
        std::size_t slash = name.find('/');
        auto value = doc.Find(FromUtf8(name.substr(0, slash)), FromUtf8(name.substr(slash + 1)));
        if (value)
            values[name] = ToUtf8(*value);
    }
    return values;
}

void ForgetCachedIni(const std::wstring& path) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

std::optional<std::string> PlatformLightInfo(const std::wstring& path) {
    char light[24];
    if (!GetPrivateProfileStructW(L"GROUP", L"LIGHT_INFO", light, sizeof light, path.c_str()))
        return std::nullopt;
    return std::string(light, sizeof light);
}

} // namespace orv::e2e
