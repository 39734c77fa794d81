// The profile list: which record each slot shows, and the repair of slots
// without one.
#include "storage/profile_list.h"

#include "storage/ini_file.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

#include "storage_test_support.h"

namespace orv {
namespace {

using testing::ZeroRecord;

class ProfileListTest : public testing::StorageTest {
protected:
    void Load() {
        ResetSettings(*settings);
        LoadProfileList(*settings);
    }
    std::u16string SlotName(int slot) {
        return std::u16string(FieldText(settings->ProfileList[slot].ProfileName));
    }
    // A full list: every slot assigned to record slot + 10.
    std::u16string FullList(std::u16string_view count) {
        std::u16string text = u"[MyXlistNumber]\r\nTotalListNumber=" + std::u16string(count) +
                              u"\r\n[ProfileData]\r\n";
        for (int slot = 0; slot < kSlotCount; ++slot)
            text += FormatW(u"Mode_%d=%d\r\n", slot + 1, slot + 10);
        for (int slot = 0; slot < kSlotCount; ++slot)
            text += FormatW(u"[MyXlistIconInfo%d]\r\nProfileName=Mine %d\r\n", slot + 10, slot);
        return text;
    }
    const std::u16string config = testing::kDataDir + u"config.ini";
    std::unique_ptr<SETTING_INFO> settings = ZeroRecord<SETTING_INFO>();
};

TEST_F(ProfileListTest, SlotsWithoutRecordGetTheirOwnAndTheirProfileFilesTheName) {
    MakeProfilesFolder();
    PutText(config, u"[ProfileData]\r\nMode_2=12\r\n[MyXlistIconInfo12]\r\nProfileID=99\r\n"
                    u"ProfileName=Racing\r\nProfileIconName=car.png\r\nProfileColor=255\r\n");
    Load();

    EXPECT_EQ(SlotName(1), u"Racing");
    EXPECT_EQ(settings->ProfileList[1].ProfileID, 12); // the section number, not its key
    EXPECT_EQ(FieldText(settings->ProfileList[1].ProfileIconName), u"car.png");
    EXPECT_EQ(settings->ProfileList[1].ProfileColor, 255);
    for (int slot : {0, 2, 3, 4, 5}) {
        EXPECT_EQ(SlotName(slot), FormatW(u"Profile %d", slot));
        EXPECT_EQ(settings->ProfileList[slot].ProfileID, slot);
    }
    CIniFile ini(config);
    EXPECT_EQ(ini.ReadInt(u"MyXlistNumber", u"TotalListNumber", 0), 6);
    EXPECT_EQ(ini.ReadInt(u"ProfileData", u"Mode_1", -1), 0);
    EXPECT_EQ(ini.ReadInt(u"ProfileData", u"Mode_2", -1), 12);
    EXPECT_EQ(ini.ReadInt(u"ProfileData", u"Mode_6", -1), 5);
    EXPECT_EQ(ini.ReadString(u"MyXlistIconInfo5", u"ProfileName", u""), u"Profile 5");
    EXPECT_EQ(Text(ProfileFilePath(u"Profile 3")), u"[GROUP]\r\nCurrentProfileName=Profile 3\r\n");
    EXPECT_FALSE(files().Exists(ProfileFilePath(u"Profile 1")));
    EXPECT_FALSE(files().Exists(ProfileFilePath(u"Racing"))); // assigned records are only read
}

TEST_F(ProfileListTest, RecordWithoutSectionGivesAnEmptyNameAndWritesNothing) {
    std::u16string text = FullList(u"6");
    text.replace(text.find(u"Mode_3=12"), 9, u"Mode_3=7");
    PutText(config, text);
    std::string before = Bytes(config);
    Load();
    EXPECT_EQ(settings->ProfileList[2].ProfileID, 7);
    EXPECT_EQ(SlotName(2), u"");
    EXPECT_EQ(ProfileFilePath(SlotName(2)), testing::kDataDir + u"Profiles\\.ini");
    EXPECT_EQ(Bytes(config), before);
}

TEST_F(ProfileListTest, TotalListNumberIsOnlyEverRaisedToSix) {
    struct Case {
        const char16_t* stored;
        int expected;
    };
    for (const Case& c :
         {Case{u"10", 10}, Case{u"6", 6}, Case{u"3", 6}, Case{u"-4", 6}, Case{u"", 6}}) {
        std::u16string text = FullList(c.stored);
        if (*c.stored == 0)
            text.replace(text.find(u"TotalListNumber="), 18, u"");
        PutText(config, text);
        Load();
        CIniFile ini(config);
        EXPECT_EQ(ini.ReadInt(u"MyXlistNumber", u"TotalListNumber", 0), c.expected)
            << ToUtf8(c.stored);
        EXPECT_EQ(ini.ReadString(u"MyXlistIconInfo0", u"ProfileName", u"none"), u"none");
        EXPECT_EQ(SlotName(5), u"Mine 5");
    }
}

TEST_F(ProfileListTest, SharedRecordsAndOverlongNames) {
    PutText(config, FullList(u"6"));
    CIniFile ini(config);
    ini.WriteInt(u"ProfileData", u"Mode_5", 10);
    ini.WriteString(u"MyXlistIconInfo10", u"ProfileName", std::u16string(5000, u'n'));
    ini.WriteString(u"MyXlistIconInfo10", u"ProfileIconName", std::u16string(300, u'i'));
    Load();
    EXPECT_EQ(SlotName(0), std::u16string(259, u'n'));
    EXPECT_EQ(SlotName(4), SlotName(0));
    EXPECT_EQ(FieldText(settings->ProfileList[4].ProfileIconName), std::u16string(259, u'i'));
    EXPECT_EQ(settings->ProfileList[4].ProfileID, 10);
}

TEST_F(ProfileListTest, SingleOperations) {
    EXPECT_EQ(ReadSlotMapping(3), -1);
    WriteSlotMapping(3, 42);
    EXPECT_EQ(ReadSlotMapping(3), 42);
    WriteListCount();
    PROFILE_LIST_ITEM item{};
    item.ProfileColor = -2;
    CopyToField(item.ProfileName, u"Work");
    WriteListItem(42, item);
    PROFILE_LIST_ITEM back;
    std::memset(&back, 0x33, sizeof back);
    ReadListItem(42, back);
    EXPECT_EQ(back.ProfileID, 42);
    EXPECT_EQ(FieldText(back.ProfileName), u"Work");
    EXPECT_EQ(back.ProfileColor, -2);
    EXPECT_EQ(back.ProfileIconName[1], 0); // every field cleared first
    EXPECT_EQ(Text(config),
              u"[ProfileData]\r\nMode_4=42\r\n[MyXlistNumber]\r\nTotalListNumber=6\r\n"
              u"[MyXlistIconInfo42]\r\nProfileID=42\r\nProfileName=Work\r\n"
              u"ProfileIconName=\r\nProfileColor=-2\r\n");
}

} // namespace
} // namespace orv
