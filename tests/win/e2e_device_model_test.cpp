// The service with the library for real keyboards, its logic running over
// the modelled HID stack: the keyboard plugged in (its version read through
// a reply that never reaches the key handling), an upload, the keyboard's
// reports, sleep and resume with stale handles, and removal.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr UINT kFeNotify = 0x460;
constexpr UINT kLightEffect = 0x65A;
constexpr UINT kUpload = 0x650;
constexpr UINT kPowerBroadcast = WM_POWERBROADCAST;

std::wstring RegistryVersion() {
    wchar_t buf[64] = L"";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane", L"FWVersion", RRF_RT_REG_SZ, nullptr,
                     buf, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buf;
}

// The reports the keyboard took, from log line `from` on: "usage=U len=L : bytes".
std::vector<std::string> Writes(const std::vector<std::string>& lines, std::size_t from = 0) {
    std::vector<std::string> writes;
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind("write ", 0) == 0)
            writes.push_back(lines[i].substr(6));
    }
    return writes;
}

// Run with the keyboard answering through input reports and through its
// feature report: the 264-byte slot query goes as a 9-byte output report
// without its zero tail, or whole as the feature report.
class ServiceModelDevice : public FreshDataTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Feature() const { return GetParam(); }
    std::string SlotQuery() const {
        return Feature() ? "write usage=2 len=264 : 07 81" : "write usage=2 len=9 : 07 81";
    }
    void SetUp() override {
        FreshDataTest::SetUp();
        SetEnvironmentVariableW(L"ORV_MODEL_REPLIES", Feature() ? L"feature" : nullptr);
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ORV_MODEL_REPLIES", nullptr);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane");
    }
};

TEST_P(ServiceModelDevice, PlugInUploadKeysResumeAndRemoval) {
    // Its firmware reply, 07 80 01 01, has the shape of the keyboard's
    // "effect changed" event.
    SimInstall install("version 1 1", ModelLibrary());
    ConfigStandIn config{L"OrvE2eModelConfig"};
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);

    // Five collections: five plug handlings, each reading the version.
    ASSERT_TRUE(install.WaitForLog(SlotQuery(), 5, 60000));
    EXPECT_TRUE(Eventually([] { return RegistryVersion() == L"11"; }));
    std::vector<std::string> writes = Writes(install.LogLines());
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], "usage=2 len=9 : 07 80 00 00 00 00 00 00 00");
    EXPECT_EQ("write " + writes[1].substr(0, SlotQuery().size() - 6), SlotQuery());

    // The keyboard's own report reaches the configuration program; the
    // replies never did.
    EXPECT_EQ(ModelCommand("report 1 08 FE 06 00 00 00 00 00 00"), 1);
    EXPECT_EQ(ConfigStandIn::Pump(kFeNotify, 5000), 1);
    EXPECT_EQ(ConfigStandIn::Count(kLightEffect), 0);

    // An upload of slot 2's lighting and key matrix.
    UINT sync = RegisterWindowMessageW(L"QUIV_DEV_SYNC");
    std::size_t mark = install.LogLines().size();
    PostMessageW(main, sync, 0, 2);
    PostMessageW(main, kUpload, 0, 1);
    const int before = static_cast<int>(Writes(install.LogLines()).size());
    ASSERT_TRUE(install.WaitForLog("write", before + 29, 30000));
    writes = Writes(install.LogLines(), mark);
    ASSERT_GE(writes.size(), 29u);
    EXPECT_EQ(writes[0], "usage=2 len=9 : 0A 03 02 00 00 00 00 00 00");
    EXPECT_EQ(writes[2], "usage=2 len=9 : 0A 04 02 00 00 00 00 00 00");
    EXPECT_EQ(writes[3], "usage=3 len=9 : 0B 01 00 29 00 3A 3B 3C 00");
    EXPECT_EQ(ModelCommand("get slot"), 2);

    // Sleep: every handle goes stale. The resume starts the connection
    // over, the plug handling asks the keyboard again, and reports flow.
    EXPECT_EQ(ModelCommand("resume"), 0);
    mark = install.LogLines().size();
    PostMessageW(main, kPowerBroadcast, 0x12 /* PBT_APMRESUMEAUTOMATIC */, 0);
    ASSERT_TRUE(install.WaitForLog(SlotQuery(), 6, 30000));
    writes = Writes(install.LogLines(), mark);
    ASSERT_GE(writes.size(), 1u);
    EXPECT_EQ(writes[0], "usage=2 len=9 : 07 80 00 00 00 00 00 00 00");
    ConfigStandIn::Forget();
    EXPECT_EQ(ModelCommand("report 1 08 FE 05 00 00 00 00 00 00"), 1);
    EXPECT_EQ(ConfigStandIn::Pump(kFeNotify, 5000), 1);

    // Removal.
    EXPECT_EQ(ModelCommand("unplug"), 0);
    EXPECT_TRUE(Eventually([] { return RegistryVersion() == L" "; }));
    EXPECT_TRUE(service.Running());
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(30000), 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, ServiceModelDevice, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Feature" : "Input"; });

} // namespace
} // namespace orv::e2e
