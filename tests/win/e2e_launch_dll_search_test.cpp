// Where the service loads libraries from: a file named like a system library
// and dropped beside the service or into its current folder never runs in it,
// not even when a key starts a shortcut (which asks the system installer's
// msi.dll first, then the shell).
#include "e2e_support.h"
#include "storage/profile_data.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace orv::e2e {
namespace {

constexpr UINT WM_HID_RELOAD = 0x651;
constexpr UINT WM_HID_KEY_EVENT = 0x656;
constexpr int kKey20Position = 28; // key index 20 in the keyboard's matrix
constexpr WPARAM kPlainLetter = 0x04;

// Wine prefers its own builtin libraries; with this override for the
// service's executable it takes a native msi.dll that it finds in the search
// path, as Windows would.
class NativeMsiFirst {
public:
    NativeMsiFirst() {
        HKEY key;
        m_set = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr) == ERROR_SUCCESS;
        if (m_set) {
            const wchar_t order[] = L"native,builtin";
            m_set = RegSetValueExW(key, L"msi", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                                   sizeof order) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    ~NativeMsiFirst() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\OrvaneHid.exe");
    }
    NativeMsiFirst(const NativeMsiFirst&) = delete;
    NativeMsiFirst& operator=(const NativeMsiFirst&) = delete;
    bool Set() const { return m_set; }

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\OrvaneHid.exe\\DllOverrides";
    bool m_set = false;
};

// Key 20 of the profile file starts `path` (function code 223).
bool AssignLaunchKey(const std::wstring& profile, const std::wstring& path) {
    BUTTON_INFO part[10];
    std::memset(part, 0, sizeof part);
    GetPrivateProfileStructW(L"GROUP", L"BUTTON_INFO_PART3", part, sizeof part, profile.c_str());
    part[0].AssignKind = 2;
    part[0].FunctionCode = 223;
    std::memset(part[0].LaunchPath, 0, sizeof part[0].LaunchPath);
    std::memcpy(part[0].LaunchPath, path.c_str(), path.size() * sizeof(wchar_t));
    return WritePrivateProfileStructW(L"GROUP", L"BUTTON_INFO_PART3", part, sizeof part,
                                      profile.c_str()) != FALSE;
}

class PlantedLibrary : public FreshDataTest {
protected:
    void SetUp() override {
        FreshDataTest::SetUp();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    void TearDown() override {
        CloseProgram(L"Orvane_TrayIcon", WM_CLOSE, 5000);
        CoUninitialize();
    }
};

TEST_F(PlantedLibrary, ShortcutStartedThroughAKeyLoadsNoPlantedMsi) {
    SimInstall install("unplug");
    std::wstring planted = ExeDir() + L"planted\\msi.dll";
    std::wstring beside = install.Dir() + L"msi.dll";
    std::wstring work = install.Dir() + L"work\\";
    ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(planted.c_str(), beside.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(planted.c_str(), (work + L"msi.dll").c_str(), FALSE));
    std::wstring link = install.Dir() + L"tray.lnk";
    ASSERT_TRUE(MakeShellLink(link, install.Dir() + L"traystub.exe"));

    NativeMsiFirst overrides;
    ASSERT_TRUE(overrides.Set());
    Process service;
    ASSERT_TRUE(service.Start(install.Exe(), L"", work));
    HWND main = WaitForWindow(L"Orvane_Hid", 10000);
    ASSERT_NE(main, nullptr);
    std::wstring profile = DataDir() + L"Profiles\\Profile 0.ini";
    ASSERT_TRUE(Eventually([&] { return PathExists(profile); }));
    ASSERT_TRUE(AssignLaunchKey(profile, link));
    PostMessageW(main, WM_HID_RELOAD, 0, 0);
    PostMessageW(main, WM_HID_KEY_EVENT, kPlainLetter, (1 << 16) + kKey20Position);

    // The shortcut was resolved and its target started...
    ASSERT_NE(WaitForWindow(L"Orvane_TrayIcon", 10000), nullptr);
    // ...and neither planted library was loaded on the way.
    EXPECT_FALSE(PathExists(beside + L".loaded"));
    EXPECT_FALSE(PathExists(work + L"msi.dll.loaded"));
}

} // namespace
} // namespace orv::e2e
