// config.ini's "Setting" section, the first start, and the registry mirror
// of the keyboard's plug state.
#include "storage/settings.h"

#include "storage_test_support.h"

namespace orv {
namespace {

using testing::ZeroRecord;

class SettingsTest : public testing::StorageTest {
protected:
    // The reload's order: reset, create when missing, load, repair.
    void Reload(SETTING_INFO& s) {
        ResetSettings(s);
        if (!SettingsFileExists())
            SaveSettings(s);
        LoadSettings(s);
        ValidateSettings(s);
    }
    const std::u16string config = testing::kDataDir + u"config.ini";
    std::unique_ptr<SETTING_INFO> settings = ZeroRecord<SETTING_INFO>();
};

TEST_F(SettingsTest, FirstStartWritesDefaultsAndTheProfileList) {
    EXPECT_FALSE(SettingsFileExists());
    Reload(*settings);

    EXPECT_EQ(Bytes(config).substr(0, 2), "\xFF\xFE");
    std::u16string expected = u"[Setting]\r\nProfile=0\r\nKeyMode=0\r\nPollingRate=0\r\n"
                              u"Language=101\r\nOSD_Color=0\r\nOSD_Profile=0\r\nOSD_Effect=0\r\n"
                              u"UI_Autorun=0\r\nSyncMode=0\r\n"
                              u"[MyXlistNumber]\r\nTotalListNumber=6\r\n"
                              u"[ProfileData]\r\n";
    for (int slot = 0; slot < kSlotCount; ++slot)
        expected += FormatW(u"Mode_%d=%d\r\n", slot + 1, slot);
    for (int n = 0; n < kSlotCount; ++n)
        expected += FormatW(u"[MyXlistIconInfo%d]\r\nProfileID=%d\r\nProfileName=Profile %d\r\n"
                            u"ProfileIconName=\r\nProfileColor=0\r\n",
                            n, n, n);
    EXPECT_EQ(Text(config), expected);

    EXPECT_EQ(settings->Profile, 0);
    EXPECT_EQ(settings->Language, 101);
    for (int slot = 0; slot < kSlotCount; ++slot)
        EXPECT_EQ(FieldText(settings->ProfileList[slot].ProfileName), FormatW(u"Profile %d", slot));

    // A second start finds everything in place and writes nothing.
    std::string before = Bytes(config);
    Reload(*settings);
    EXPECT_EQ(Bytes(config), before);
}

TEST_F(SettingsTest, LoadTakesLowBytesAndValidateRepairs) {
    PutText(config, u"[Setting]\r\nPlug=1\r\nProfile=257\r\nKeyMode=3\r\nPollingRate=4\r\n"
                    u"Language=abc\r\nOSD_Color=0x2\r\nOSD_Profile=-1\r\nOSD_Effect=2\r\n"
                    u"UI_Autorun=-1\r\nSyncMode=1\r\n");
    ResetSettings(*settings);
    LoadSettings(*settings);
    EXPECT_EQ(settings->Plug, 1);
    EXPECT_EQ(settings->Profile, 1); // 257: the low 8 bits
    EXPECT_EQ(settings->KeyMode, 3);
    EXPECT_EQ(settings->PollingRate, 4);
    EXPECT_EQ(settings->Language, 0);
    EXPECT_EQ(settings->OSD_Color, 2);
    EXPECT_EQ(settings->OSD_Profile, -1);
    EXPECT_EQ(settings->OSD_Effect, 2);
    EXPECT_EQ(settings->UI_Autorun, -1);
    EXPECT_EQ(settings->SyncMode, 1);

    ValidateSettings(*settings);
    EXPECT_EQ(settings->Profile, 1);
    EXPECT_EQ(settings->KeyMode, 0);
    EXPECT_EQ(settings->PollingRate, 3);
    EXPECT_EQ(settings->Language, 101);
    EXPECT_EQ(settings->OSD_Profile, 1);
    EXPECT_EQ(settings->OSD_Effect, 1);
    EXPECT_EQ(settings->UI_Autorun, 1);
}

TEST_F(SettingsTest, SaveWritesItsNineKeysAndKeepsTheRest) {
    PutText(config,
            u"; kept\r\n[Setting]\r\nPlug=1\r\nFWVersion=15\r\nTheirs=x\r\n[Other]\r\na=b\r\n");
    ResetSettings(*settings);
    settings->Profile = 200; // unsigned, as stored
    settings->OSD_Profile = -1;
    settings->Language = 104;
    SaveSettings(*settings);
    EXPECT_EQ(Text(config), u"; kept\r\n[Setting]\r\nPlug=1\r\nFWVersion=15\r\nTheirs=x\r\n"
                            u"Profile=200\r\nKeyMode=0\r\nPollingRate=0\r\nLanguage=104\r\n"
                            u"OSD_Color=0\r\nOSD_Profile=-1\r\nOSD_Effect=0\r\nUI_Autorun=0\r\n"
                            u"SyncMode=0\r\n[Other]\r\na=b\r\n");
}

TEST_F(SettingsTest, PlugChangesGoToTheFileAndTheRegistryInOrder) {
    host.registry.CreateKey(kRegistryKeyPath);
    SaveFirmwareVersion(u"15");
    WriteRegistryFirmwareVersion(u"15");
    SavePlugState(1);
    // Removal: a single space, never an empty text.
    EXPECT_TRUE(SaveFirmwareVersion(u" "));
    WriteRegistryFirmwareVersion(u" ");
    SavePlugState(0);

    EXPECT_EQ(Text(config), u"[Setting]\r\nFWVersion= \r\nPlug=0\r\n");
    ASSERT_EQ(host.registry.writes.size(), 4u);
    const auto& w = host.registry.writes;
    EXPECT_EQ(w[2].name, u"FWVersion");
    EXPECT_FALSE(w[2].isDword);
    EXPECT_EQ(w[2].text, u" ");
    EXPECT_EQ(w[3].name, u"DevicePlug");
    EXPECT_TRUE(w[3].isDword);
    EXPECT_EQ(w[3].dword, 0u);
    EXPECT_EQ(w[3].key, u"SOFTWARE\\Orvane");
}

TEST_F(SettingsTest, MissingRegistryKeyIsNeitherCreatedNorBlockingTheFile) {
    SaveFirmwareVersion(u" ");
    WriteRegistryFirmwareVersion(u" ");
    SavePlugState(0);
    EXPECT_EQ(Text(config), u"[Setting]\r\nFWVersion= \r\nPlug=0\r\n");
    EXPECT_FALSE(host.registry.KeyExists(kRegistryKeyPath));
    EXPECT_TRUE(host.registry.writes.empty());
}

TEST_F(SettingsTest, UnwritableDataFolderKeepsTheDefaultsInMemory) {
    files().failWrites = true;
    Reload(*settings);
    EXPECT_FALSE(SettingsFileExists());
    EXPECT_EQ(settings->Language, 101);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(settings->ProfileList[slot].ProfileID, slot);
        EXPECT_EQ(FieldText(settings->ProfileList[slot].ProfileName), FormatW(u"Profile %d", slot));
    }
}

} // namespace
} // namespace orv
