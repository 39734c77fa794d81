// The configuration program writes config.ini with the platform's INI
// functions, as fast as they go, while the service keeps saving it: neither
// loses the other's keys.
#include "e2e_hardening_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace orv::e2e {
namespace {

constexpr int kSwitches = 120; // slot switches: each one saves config.ini
constexpr int kRecords = 60;   // list records the configuration program adds

class SharedSettingsFile : public FreshDataTest {
protected:
    void TearDown() override { service.Kill(); }

    ServiceRun service;
};

std::wstring Text(const wchar_t* section, const wchar_t* key) {
    wchar_t buf[256] = L"";
    GetPrivateProfileStringW(section, key, L"<missing>", buf, 256, ConfigPath().c_str());
    return buf;
}

TEST_F(SharedSettingsFile, TheConfigurationProgramLosesNoKeyWhileTheServiceSaves) {
    SimInstall install("unplug");
    ASSERT_TRUE(service.Start(install));
    const std::wstring config = ConfigPath();

    // The configuration program adds profiles to the list, one record and the
    // new count at a time, and notes where its user is: a write every few
    // milliseconds, more often than any user makes them. The INI functions
    // refuse a write that meets the instant the service puts a new file in
    // place (a sharing violation: the file is open for that switch); the
    // program then writes again, as a careful one does.
    std::atomic<int> refused{0};
    int writes = 0; // the program's thread only
    auto write = [&](const std::wstring& section, const wchar_t* key, const std::wstring& value) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (WritePrivateProfileStringW(section.c_str(), key, value.c_str(), config.c_str())) {
                Sleep(++writes % 8 + 2);
                return true;
            }
            EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
            ++refused;
            Sleep(1);
        }
        return false;
    };
    std::atomic<int> added{0};
    std::thread program([&] {
        for (int n = 6; n < 6 + kRecords; ++n) {
            std::wstring section = L"MyXlistIconInfo" + std::to_wstring(n);
            bool done = write(section, L"ProfileID", std::to_wstring(n)) &&
                        write(section, L"ProfileName", L"Custom " + std::to_wstring(n)) &&
                        write(section, L"ProfileColor", std::to_wstring(n * 1000)) &&
                        write(L"MyXlistNumber", L"TotalListNumber", std::to_wstring(n + 1)) &&
                        write(L"Setting", L"LastPage", std::to_wstring(n));
            if (!done)
                return;
            ++added;
        }
    });
    int slot = 0;
    for (int i = 0; i < kSwitches; ++i) {
        slot = (slot + 1 + i % 5) % 6;
        service.SelectSlot(slot);
        Sleep(i % 7);
    }
    program.join();
    ASSERT_EQ(added, kRecords);

    // The service's last word: a switch made once the program is done, and
    // after it a lighting change, whose save shows that the service has
    // got through everything posted before.
    slot = (slot + 1) % 6;
    service.SelectSlot(slot);
    const std::wstring profile = SlotProfilePath(slot);
    auto light = [&] {
        auto values = EngineValues(profile, {"GROUP/LIGHT_INFO"});
        return values && values->count("GROUP/LIGHT_INFO") ? values->at("GROUP/LIGHT_INFO")
                                                           : std::string();
    };
    int effect = (std::stoi(light().substr(0, 2), nullptr, 16) + 1) % 10;
    service.Post(WM_HID_KEY_EVENT, effect, kEffectEvent);
    char wanted[3];
    std::snprintf(wanted, sizeof wanted, "%02X", effect);
    DWORD start = GetTickCount();
    while (light().substr(0, 2) != wanted && GetTickCount() - start < 30000)
        Sleep(20);
    ForgetCachedIni(config);
    EXPECT_EQ(GetPrivateProfileIntW(L"Setting", L"Profile", -1, config.c_str()), UINT(slot));

    // Every key of the program's, and every key of the service's.
    EXPECT_EQ(Text(L"MyXlistNumber", L"TotalListNumber"), std::to_wstring(6 + kRecords));
    EXPECT_EQ(Text(L"Setting", L"LastPage"), std::to_wstring(5 + kRecords));
    int lost = 0;
    for (int n = 6; n < 6 + kRecords; ++n) {
        std::wstring section = L"MyXlistIconInfo" + std::to_wstring(n);
        bool whole = Text(section.c_str(), L"ProfileID") == std::to_wstring(n) &&
                     Text(section.c_str(), L"ProfileName") == L"Custom " + std::to_wstring(n) &&
                     Text(section.c_str(), L"ProfileColor") == std::to_wstring(n * 1000);
        lost += whole ? 0 : 1;
        EXPECT_TRUE(whole) << "record " << n << " "
                           << (Text(section.c_str(), L"ProfileID") == std::to_wstring(n))
                           << (Text(section.c_str(), L"ProfileName") ==
                               L"Custom " + std::to_wstring(n))
                           << (Text(section.c_str(), L"ProfileColor") == std::to_wstring(n * 1000));
    }
    auto values = EngineValues(config, ConfigKeys());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->size(), ConfigKeys().size());
    std::printf("%d slot switches beside %d records of 5 writes each: %d records lost, %d writes "
                "refused once and made again\n",
                kSwitches + 1, kRecords, lost, refused.load());
}

} // namespace
} // namespace orv::e2e
