// orvctl's profile edits on the real Windows files, read back with the
// platform's INI functions as the configuration program reads them.
#include "base/wstr.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "profile_verbs.h"
#include "storage/paths.h"
#include "storage/profile_data.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace orv {
namespace {

using win32::U16;
using win32::W;

class NoService : public ctl::IServiceHooks {
public:
    int CurrentSlot() override { return -1; }
    bool Reload() override { return false; }
    bool UploadCurrent() override { return false; }
};

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + name + L"\\");
            else
                DeleteFileW((dir + name).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::wstring PlatformString(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    std::vector<wchar_t> buf(2048);
    DWORD n = GetPrivateProfileStringW(section, key, L"<default>", buf.data(),
                                       static_cast<DWORD>(buf.size()), path.c_str());
    return std::wstring(buf.data(), n);
}

class CtlProfileOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"orv-ctl-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((dir + L"Profiles").c_str(), nullptr));
        CopyToField(g_szDataDir, U16(dir));
        auto settings = std::make_unique<SETTING_INFO>();
        ResetSettings(*settings);
        SaveSettings(*settings);
        LoadSettings(*settings);
        auto profile = std::make_unique<PROFILE_DATA>();
        for (int slot = 0; slot < kSlotCount; ++slot) {
            ResetProfileDefaults(*profile, true, slot);
            SaveProfileFile(FormatW(u"Profile %d", slot), *profile);
        }
    }
    void TearDown() override { RemoveTree(dir); }

    int Run(std::vector<std::string> words) {
        std::ostringstream out, err;
        int rc = ctl::RunProfileVerb(words, service, out, err);
        EXPECT_EQ(err.str(), "");
        return rc;
    }

    NoService service;
    std::wstring dir;
};

TEST_F(CtlProfileOnWindows, TheConfigurationProgramReadsTheEdits) {
    ASSERT_EQ(Run({"set-lighting", "2", "--effect", "7", "--level", "3", "--color", "102030"}), 0);
    ASSERT_EQ(Run({"assign", "2", "Esc", "launch", "C:\\Jeux\\été.exe"}), 0);
    ASSERT_EQ(Run({"set-key-color", "2", "Space", "FF0000", "--set", "1"}), 0);
    ASSERT_EQ(Run({"link", "2", "C:\\Jeux\\jeu.exe"}), 0);
    ASSERT_EQ(Run({"rename", "2", "Vitesse é"}), 0);

    const std::wstring config = dir + L"config.ini";
    EXPECT_EQ(PlatformString(config, L"MyXlistIconInfo2", L"ProfileName"), L"Vitesse \u00E9");
    const std::wstring file = dir + L"Profiles\\Vitesse \u00E9.ini";
    EXPECT_EQ(PlatformString(file, L"GROUP", L"CurrentProfileName"), L"Vitesse \u00E9");
    EXPECT_EQ(PlatformString(file, L"GROUP", L"LinkExe0"), L"C:\\Jeux\\jeu.exe");
    EXPECT_EQ(GetFileAttributesW((dir + L"Profiles\\Profile 2.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);

    LIGHT_INFO light{};
    ASSERT_TRUE(
        GetPrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &light, sizeof light, file.c_str()));
    EXPECT_EQ(light.Effect, 7);
    EXPECT_EQ(light.EffectLevel, 3);
    EXPECT_EQ(light.Color, 0x302010u);

    LIGHT_DATA set{};
    ASSERT_TRUE(
        GetPrivateProfileStructW(L"GROUP", L"LIGHT_DATA_1", &set, sizeof set, file.c_str()));
    EXPECT_EQ(set.KeyColor[94], 0x0000FFu); // Space

    auto buttons = std::make_unique<BUTTON_INFO[]>(10);
    ASSERT_TRUE(GetPrivateProfileStructW(L"GROUP", L"BUTTON_INFO_PART1", buttons.get(),
                                         10 * sizeof(BUTTON_INFO), file.c_str()));
    EXPECT_EQ(buttons[0].AssignKind, kAssignFunction);
    EXPECT_EQ(buttons[0].FunctionCode, 223);
    EXPECT_EQ(U16(std::wstring(reinterpret_cast<const wchar_t*>(buttons[0].LaunchPath))),
              u"C:\\Jeux\\été.exe");
}

} // namespace
} // namespace orv
