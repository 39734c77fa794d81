// The real service on files that the configuration program's INI functions
// created in the system's ANSI code page, with a profile name of the system's
// language. CTest runs it again with Wine in other locales
// (scripts/wine-locale), which sets ORV_EXPECT_ACP.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

std::wstring NameOfThisSystem() {
    switch (GetACP()) {
    case 1251:
        return L"\u0418\u0433\u0440\u044B";
    case 932:
        return L"\u30B2\u30FC\u30E0";
    case 936:
        return L"\u6E38\u620F";
    default:
        return L"Caf\u00E9";
    }
}

std::wstring PlatformString(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    wchar_t buf[512];
    DWORD n = GetPrivateProfileStringW(section, key, L"<default>", buf, 512, path.c_str());
    return std::wstring(buf, n);
}

void PlatformWrite(const std::wstring& path, const wchar_t* section, const std::wstring& key,
                   const std::wstring& value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key.c_str(), value.c_str(), path.c_str()));
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

class ServiceCodePage : public FreshDataTest {
protected:
    void SetUp() override {
        if (const char* expected = std::getenv("ORV_EXPECT_ACP")) {
            ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
        }
        FreshDataTest::SetUp();
    }
    void TearDown() override { StopService(); }
};

TEST_F(ServiceCodePage, UsesTheProfileFileTheConfigurationProgramNamed) {
    const std::wstring name = NameOfThisSystem();
    ASSERT_TRUE(CreateDirectoryW(DataDir().c_str(), nullptr));
    const std::wstring profiles = DataDir() + L"Profiles\\";
    ASSERT_TRUE(CreateDirectoryW(profiles.c_str(), nullptr));

    // The configuration program's files, made by its INI functions: new files,
    // so in the system's code page.
    const std::wstring config = DataDir() + L"config.ini";
    PlatformWrite(config, L"Setting", L"Profile", L"1");
    PlatformWrite(config, L"MyXlistNumber", L"TotalListNumber", L"6");
    for (int slot = 0; slot < 6; ++slot) {
        const std::wstring n = std::to_wstring(slot);
        PlatformWrite(config, L"ProfileData", L"Mode_" + std::to_wstring(slot + 1), n);
        PlatformWrite(config, (L"MyXlistIconInfo" + n).c_str(), L"ProfileName",
                      slot == 1 ? name : L"Profile " + n);
    }
    const std::wstring profile = profiles + name + L".ini";
    const std::wstring link = L"C:\\" + name + L"\\game.exe";
    PlatformWrite(profile, L"GROUP", L"LinkExe0", link);
    ASSERT_NE(ReadFileBytes(config).substr(0, 2), "\xFF\xFE");
    ASSERT_NE(ReadFileBytes(profile).substr(0, 2), "\xFF\xFE");

    // Loading the slot's profile writes its name into it.
    Process service;
    ASSERT_TRUE(service.Start(DistDir() + L"OrvaneHid.exe"));
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    EXPECT_TRUE(Eventually(
        [&] { return PlatformString(profile, L"GROUP", L"CurrentProfileName") == name; }));

    EXPECT_EQ(FilesIn(profiles), std::vector<std::wstring>{name + L".ini"});
    EXPECT_NE(ReadFileBytes(profile).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(PlatformString(profile, L"GROUP", L"LinkExe0"), link);
    EXPECT_EQ(PlatformString(config, L"MyXlistIconInfo1", L"ProfileName"), name);
}

} // namespace
} // namespace orv::e2e
