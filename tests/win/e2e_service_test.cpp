// The service end to end on the simulated keyboard, with stand-ins for the
// suite's other programs: first start, plug notices, registry values, an
// upload logged byte for byte, and a keyboard event that ends in a broadcast.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr UINT WM_HID_PLUG = 0x5401;
constexpr UINT WM_HID_UPLOAD = 0x650;
constexpr UINT WM_HID_SHOW_PROGRESS = 0x670;
constexpr wchar_t kKey[] = L"SOFTWARE\\Orvane";

bool CreateRegistryKey() {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteRegistryKey() {
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

bool KeyExists() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring RegistryText(const wchar_t* name) {
    wchar_t buf[64] = L"";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return buf;
}

DWORD RegistryNumber(const wchar_t* name) {
    DWORD value = 0xDEAD, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// The bytes of every report written from line `from` of the simulator's log.
std::vector<std::string> WritesFrom(const std::vector<std::string>& lines, std::size_t from) {
    std::vector<std::string> writes;
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind("write ", 0) == 0)
            writes.push_back(lines[i].substr(lines[i].find(" : ") + 3));
    }
    return writes;
}

std::string Command(const std::string& head) {
    std::string bytes = head;
    while (bytes.size() < 23)
        bytes += " 00";
    return bytes;
}

class ServiceEndToEnd : public FreshDataTest {
protected:
    void TearDown() override {
        DeleteRegistryKey();
        if (HasFailure() && !standinLog.empty())
            std::printf("stand-in log:\n%s\n", ReadFileBytes(standinLog).c_str());
    }

    // Stand-ins of the suite: the configuration program and four other windows.
    void StartStandIns(const SimInstall& install) {
        standinLog = install.Dir() + L"standin.log";
        ASSERT_TRUE(standin.Start(DistDir() + L"tools\\standin.exe",
                                  L"\"" + standinLog +
                                      L"\" --config --title Orvane_TrayIcon --title Launch_Program "
                                      L"--title BelmicMacro --title DLGLoading"));
        ASSERT_NE(WaitForWindow(L"DLGLoading", 10000), nullptr);
    }
    bool WaitForStandIn(const std::string& part, int count, DWORD ms = 40000) {
        return WaitForLines(standinLog, count, ms, CountContaining, part);
    }

    Process standin;
    std::wstring standinLog;
};

TEST_F(ServiceEndToEnd, PlugInUploadKeyEventAndRemoval) {
    ASSERT_TRUE(CreateRegistryKey());
    // The configuration program asked for slot changes to be announced.
    CreateDirectoryW(DataDir().c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStringW(L"Setting", L"SyncMode", L"1",
                                           (DataDir() + L"config.ini").c_str()));
    SimInstall install;
    StartStandIns(install);
    Process service;
    ASSERT_TRUE(service.Start(install.Exe()));

    // Five collections arrive: five whole plug handlings, 3 s each.
    ASSERT_TRUE(WaitForStandIn("\tOrvane\tWM_HID_PLUG\t0x5401\t1\t0", 5));
    EXPECT_TRUE(WaitForStandIn("\tOrvane_TrayIcon\tWM_HID_PLUG\t0x5401\t1\t0", 5));
    std::vector<std::string> seen = ReadLines(standinLog);
    EXPECT_EQ(CountContaining(seen, "\tLaunch_Program\tWM_CLOSE\t"), 1);
    EXPECT_EQ(CountContaining(seen, "\tBelmicMacro\tWM_CLOSE\t"), 1);
    EXPECT_EQ(CountContaining(seen, "\tOrvane/Orvane\tWM_HID_PLUG"), 0);
    EXPECT_TRUE(Eventually([] { return RegistryNumber(L"DevicePlug") == 1; }));
    EXPECT_EQ(RegistryText(L"FWVersion"), L"10");
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_TRUE(
            PathExists(DataDir() + L"Profiles\\Profile " + std::to_wstring(slot) + L".ini"));
    wchar_t version[16] = L"";
    GetPrivateProfileStringW(L"Setting", L"FWVersion", L"", version, 16,
                             (DataDir() + L"config.ini").c_str());
    EXPECT_STREQ(version, L"10");

    // The configuration program selects slot 2 and uploads it under the progress window.
    HWND main = FindWindowW(nullptr, L"Orvane_Hid");
    UINT sync = RegisterWindowMessageW(L"QUIV_DEV_SYNC");
    std::size_t mark = install.LogLines().size();
    PostMessageW(main, sync, 0, 2);
    PostMessageW(main, WM_HID_SHOW_PROGRESS, 0, 0);
    PostMessageW(main, WM_HID_UPLOAD, 0, 1);
    ASSERT_TRUE(WaitForStandIn("\tDLGLoading\tWM_HID_UPLOAD\t0x650\t0\t0", 1));
    std::vector<std::string> writes = WritesFrom(install.LogLines(), mark);
    ASSERT_EQ(writes.size(), 1u + 1 + 1 + 23 + 3);
    EXPECT_EQ(writes[0], Command("0A 03 02")); // the selection itself
    EXPECT_EQ(writes[1], Command("0A 0F"));
    EXPECT_EQ(writes[2], Command("0A 04 02"));
    EXPECT_EQ(writes[3], "0B 01 00 29 00 3A 3B 3C"); // the default matrix, six bytes a chunk
    EXPECT_EQ(writes[25], "0B 17 51 4F 62 00 63 00");
    EXPECT_EQ(writes[26], Command("0A 03 02"));
    EXPECT_EQ(writes[27], Command("0A 0A 02 06")); // slot 2's default effect
    EXPECT_EQ(writes[28], Command("0A 03 02"));
    // The window goes right after "DLGLoading" is told.
    EXPECT_TRUE(
        Eventually([] { return FindWindowW(nullptr, L"PelkStrivaneProgressbar") == nullptr; }));

    // The keyboard switches itself to slot 3: the suite hears of it.
    EXPECT_EQ(SimCommand("report 1 0D 03 03 00 00 00 00 00 00"), 1);
    EXPECT_TRUE(WaitForStandIn("\tOrvane\tQUIV_DEV_SYNC\t", 1, 10000));
    std::vector<std::string> casts;
    for (const std::string& line : ReadLines(standinLog))
        if (line.find("\tOrvane\tQUIV_DEV_SYNC\t") != std::string::npos)
            casts.push_back(line.substr(line.rfind('\t', line.rfind('\t') - 1)));
    EXPECT_EQ(casts, std::vector<std::string>{"\t0\t3"});
    EXPECT_TRUE(WaitForStandIn("\tOrvane/Orvane\tWM_HID_SET_SLOT\t0x658\t0\t3", 1, 10000));

    // Removal.
    EXPECT_EQ(SimCommand("unplug"), 0);
    EXPECT_TRUE(WaitForStandIn("\tOrvane\tWM_HID_PLUG\t0x5401\t0\t0", 1, 10000));
    EXPECT_TRUE(Eventually([] { return RegistryNumber(L"DevicePlug") == 0; }));
    EXPECT_EQ(RegistryText(L"FWVersion"), L" ");
}

TEST_F(ServiceEndToEnd, WithoutTheRegistryKeyOnlyTheSettingsFileChanges) {
    DeleteRegistryKey();
    SimInstall install("unplug");
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    std::wstring config = DataDir() + L"config.ini";
    PostMessageW(main, WM_HID_PLUG, 0, 0); // a removal notice
    EXPECT_TRUE(Eventually(
        [&] { return GetPrivateProfileIntW(L"Setting", L"Plug", 7, config.c_str()) == 0; }));
    EXPECT_FALSE(KeyExists());
    wchar_t version[16] = L"";
    GetPrivateProfileStringW(L"Setting", L"FWVersion", L"<none>", version, 16, config.c_str());
    EXPECT_STREQ(version, L""); // " " reads back empty: the platform strips blanks
}

} // namespace
} // namespace orv::e2e
