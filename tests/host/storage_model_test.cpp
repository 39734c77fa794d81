// The profile records: reset states, range repairs and the slot defaults.
#include "storage/profile_data.h"

#include "storage_test_support.h"

#include <cstring>

namespace orv {
namespace {

using testing::ZeroRecord;

std::u16string Name(const LIGHT_DATA& set) {
    return std::u16string(FieldText(set.LightName));
}

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// The cleared profile: all zero except EffectLevel 5 and the set names.
void ExpectClearedProfile(const PROFILE_DATA& p) {
    auto expected = ZeroRecord<PROFILE_DATA>();
    expected->Light.EffectLevel = 5;
    CopyToField(expected->Colors[0].LightName, u"DEFAULT");
    for (int s = 1; s < kColorSetCount; ++s)
        CopyToField(expected->Colors[s].LightName, u"NEW");
    EXPECT_EQ(std::memcmp(&p, expected.get(), sizeof p), 0);
}

TEST(ProfileModel, ResetSettingsGivesFirstStartState) {
    auto s = ZeroRecord<SETTING_INFO>();
    std::memset(s.get(), 0xA5, sizeof *s);
    ResetSettings(*s);

    EXPECT_EQ(s->Plug, 0);
    EXPECT_EQ(s->Profile, 0);
    EXPECT_EQ(s->Language, 101);
    EXPECT_EQ(s->UI_Autorun, 0);
    EXPECT_EQ(s->OSD_Color, 0);
    EXPECT_EQ(s->OSD_Profile, 0);
    EXPECT_EQ(s->OSD_Effect, 0);
    EXPECT_EQ(s->PollingRate, 0);
    EXPECT_EQ(s->KeyMode, 0);
    EXPECT_EQ(s->SyncMode, 0);
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(s->ProfileList[i].ProfileID, i);
        EXPECT_EQ(FieldText(s->ProfileList[i].ProfileName), FormatW(u"Profile %d", i));
        EXPECT_EQ(FieldText(s->ProfileList[i].ProfileIconName), u"");
        EXPECT_EQ(s->ProfileList[i].ProfileColor, 0);
    }
    ExpectClearedProfile(s->Current);
}

TEST(ProfileModel, ClearProfileLeavesOnlyTheRepairs) {
    auto s = ZeroRecord<SETTING_INFO>();
    std::memset(&s->Current, 0x5A, sizeof s->Current);
    ClearProfile(*s);
    ExpectClearedProfile(s->Current);
}

TEST(ProfileModel, ValidateSettingsRepairsEachFieldInItsOwnType) {
    struct Case {
        const char* what;
        void (*set)(SETTING_INFO&);
        int (*get)(const SETTING_INFO&);
        int expected;
    };
    const Case cases[] = {
        {"Profile 6 becomes 1", [](SETTING_INFO& s) { s.Profile = 6; },
         [](const SETTING_INFO& s) { return int(s.Profile); }, 1},
        {"Profile 5 stays", [](SETTING_INFO& s) { s.Profile = 5; },
         [](const SETTING_INFO& s) { return int(s.Profile); }, 5},
        {"PollingRate 4 becomes 3", [](SETTING_INFO& s) { s.PollingRate = 4; },
         [](const SETTING_INFO& s) { return int(s.PollingRate); }, 3},
        {"PollingRate 255 becomes 3", [](SETTING_INFO& s) { s.PollingRate = 255; },
         [](const SETTING_INFO& s) { return int(s.PollingRate); }, 3},
        {"Language 100", [](SETTING_INFO& s) { s.Language = 100; },
         [](const SETTING_INFO& s) { return int(s.Language); }, 101},
        {"Language 108", [](SETTING_INFO& s) { s.Language = 108; },
         [](const SETTING_INFO& s) { return int(s.Language); }, 101},
        {"Language 107 stays", [](SETTING_INFO& s) { s.Language = 107; },
         [](const SETTING_INFO& s) { return int(s.Language); }, 107},
        {"OSD_Profile -1", [](SETTING_INFO& s) { s.OSD_Profile = -1; },
         [](const SETTING_INFO& s) { return s.OSD_Profile; }, 1},
        {"OSD_Profile 2", [](SETTING_INFO& s) { s.OSD_Profile = 2; },
         [](const SETTING_INFO& s) { return s.OSD_Profile; }, 1},
        {"OSD_Effect -1", [](SETTING_INFO& s) { s.OSD_Effect = -1; },
         [](const SETTING_INFO& s) { return s.OSD_Effect; }, 1},
        {"UI_Autorun 2", [](SETTING_INFO& s) { s.UI_Autorun = 2; },
         [](const SETTING_INFO& s) { return s.UI_Autorun; }, 1},
        {"UI_Autorun -1", [](SETTING_INFO& s) { s.UI_Autorun = -1; },
         [](const SETTING_INFO& s) { return s.UI_Autorun; }, 1},
        {"OSD_Color 3 becomes 0", [](SETTING_INFO& s) { s.OSD_Color = 3; },
         [](const SETTING_INFO& s) { return int(s.OSD_Color); }, 0},
        {"KeyMode 2 becomes 0", [](SETTING_INFO& s) { s.KeyMode = 2; },
         [](const SETTING_INFO& s) { return int(s.KeyMode); }, 0},
        {"SyncMode 9 becomes 0", [](SETTING_INFO& s) { s.SyncMode = 9; },
         [](const SETTING_INFO& s) { return int(s.SyncMode); }, 0},
        {"Plug is not repaired", [](SETTING_INFO& s) { s.Plug = 200; },
         [](const SETTING_INFO& s) { return int(s.Plug); }, 200},
    };
    for (const Case& c : cases) {
        auto s = ZeroRecord<SETTING_INFO>();
        ResetSettings(*s);
        c.set(*s);
        ValidateSettings(*s);
        EXPECT_EQ(c.get(*s), c.expected) << c.what;
    }
    // 0 is in range for the switches that default to 1 when out of range.
    auto s = ZeroRecord<SETTING_INFO>();
    ValidateSettings(*s);
    EXPECT_EQ(s->OSD_Profile, 0);
    EXPECT_EQ(s->OSD_Effect, 0);
    EXPECT_EQ(s->UI_Autorun, 0);
}

TEST(ProfileModel, ForcedDefaultsFollowTheSlotTable) {
    struct Expected {
        std::uint8_t effect, option;
        std::uint32_t color;
    };
    const Expected table[kSlotCount] = {{5, 1, 0xFFFFFF}, {6, 1, 0x0000FF}, {6, 0, 0xFF0000},
                                        {6, 1, 0x00FF00}, {6, 1, 0x00FFFF}, {6, 1, 0xFF00FF}};
    auto p = ZeroRecord<PROFILE_DATA>();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        std::memset(p.get(), 0x77, sizeof *p); // whatever was there goes
        ResetProfileDefaults(*p, true, slot);
        EXPECT_EQ(p->Light.Effect, table[slot].effect) << slot;
        EXPECT_EQ(p->Light.EffectOption, table[slot].option) << slot;
        EXPECT_EQ(p->Light.EffectLevel, 5);
        EXPECT_EQ(p->Light.EffectParam, 0);
        EXPECT_EQ(p->Light.Color, table[slot].color) << slot;
        EXPECT_TRUE(AllZero(p->Light.Reserved1, 4) && AllZero(p->Light.Reserved2, 12));
        EXPECT_TRUE(AllZero(p->LinkExe, sizeof p->LinkExe));
        EXPECT_TRUE(AllZero(p->Buttons, sizeof p->Buttons));
        EXPECT_EQ(Name(p->Colors[0]), u"DEFAULT");
        for (int s = 1; s < kColorSetCount; ++s) {
            EXPECT_EQ(Name(p->Colors[s]), u"NEW");
            EXPECT_TRUE(AllZero(p->Colors[s].KeyColor, sizeof p->Colors[s].KeyColor)) << slot;
        }
        if (slot < 2) {
            EXPECT_TRUE(AllZero(p->Colors[0].KeyColor, sizeof p->Colors[0].KeyColor)) << slot;
        }
    }
}

TEST(ProfileModel, SlotPresetsColourSetZero) {
    auto p = ZeroRecord<PROFILE_DATA>();
    ResetProfileDefaults(*p, true, 2);
    const std::uint32_t* c = p->Colors[0].KeyColor;
    EXPECT_EQ(c[0], 0xFFFFFFu);
    for (int key = 1; key <= 5; ++key)
        EXPECT_EQ(c[key], 0x00FF00u) << key;
    EXPECT_EQ(c[6], 0xFFFFFFu);
    EXPECT_EQ(c[106], 0x0000FFu);
    EXPECT_EQ(c[108], 0x0000FFu);
    EXPECT_EQ(c[109], 0u); // '-': left as reset
    EXPECT_EQ(c[110], 0u);

    ResetProfileDefaults(*p, true, 3);
    EXPECT_EQ(p->Colors[0].KeyColor[0], 0x00D7FFu);
    EXPECT_EQ(p->Colors[0].KeyColor[17], 0xEEE471u);
    ResetProfileDefaults(*p, true, 4);
    EXPECT_EQ(p->Colors[0].KeyColor[0], 0x19668Du);
    EXPECT_EQ(p->Colors[0].KeyColor[4], 0x34FF00u);
    ResetProfileDefaults(*p, true, 5);
    EXPECT_EQ(p->Colors[0].KeyColor[0], 0x0066FFu);
    EXPECT_EQ(p->Colors[0].KeyColor[17], 0xFFDD00u);
    EXPECT_EQ(p->Colors[0].KeyColor[64], 0u); // a '-' in the middle of the table
    EXPECT_EQ(p->Colors[0].KeyColor[65], 0x0066FFu);
}

// Out-of-range lighting: ValidateProfile has fixed replacements, while the
// slot defaults come from the slot's row.
TEST(ProfileModel, LightingRepairsDifferBetweenValidateAndSlotDefaults) {
    struct Case {
        const char* what;
        void (*spoil)(LIGHT_INFO&);
        std::uint32_t (*get)(const LIGHT_INFO&);
        std::uint32_t validated, slot0, slot2;
    };
    const Case cases[] = {
        {"Effect 25", [](LIGHT_INFO& l) { l.Effect = 25; },
         [](const LIGHT_INFO& l) { return std::uint32_t(l.Effect); }, 5, 5, 6},
        {"EffectOption 3", [](LIGHT_INFO& l) { l.EffectOption = 3; },
         [](const LIGHT_INFO& l) { return std::uint32_t(l.EffectOption); }, 1, 1, 0},
        {"EffectLevel 0", [](LIGHT_INFO& l) { l.EffectLevel = 0; },
         [](const LIGHT_INFO& l) { return std::uint32_t(l.EffectLevel); }, 5, 5, 5},
        {"EffectLevel 6", [](LIGHT_INFO& l) { l.EffectLevel = 6; },
         [](const LIGHT_INFO& l) { return std::uint32_t(l.EffectLevel); }, 5, 5, 5},
        {"EffectParam 6", [](LIGHT_INFO& l) { l.EffectParam = 6; },
         [](const LIGHT_INFO& l) { return std::uint32_t(l.EffectParam); }, 0, 0, 0},
        {"Color top byte", [](LIGHT_INFO& l) { l.Color = 0x01000000; },
         [](const LIGHT_INFO& l) { return l.Color; }, 0xFFFFFF, 0xFFFFFF, 0xFF0000},
    };
    auto s = ZeroRecord<SETTING_INFO>();
    for (const Case& c : cases) {
        for (int variant = 0; variant < 3; ++variant) {
            ClearProfile(*s);
            s->Current.Light.Effect = 20; // in range: untouched by every repair
            c.spoil(s->Current.Light);
            if (variant == 0)
                ValidateProfile(*s);
            else
                ResetProfileDefaults(s->Current, false, variant == 1 ? 0 : 2);
            std::uint32_t expected = variant == 0 ? c.validated : variant == 1 ? c.slot0 : c.slot2;
            EXPECT_EQ(c.get(s->Current.Light), expected) << c.what << " variant " << variant;
        }
    }
}

TEST(ProfileModel, RepairsRenameOnlyUnnamedSetsAndKeepKeysAndLinks) {
    auto s = ZeroRecord<SETTING_INFO>();
    ClearProfile(*s);
    for (int set = 0; set < kColorSetCount; ++set) {
        CopyToField(s->Current.Colors[set].LightName, u"Mine");
        for (std::uint32_t& c : s->Current.Colors[set].KeyColor)
            c = 0x123456;
    }
    std::memset(s->Current.Colors[3].LightName, 0, sizeof s->Current.Colors[3].LightName);
    s->Current.Buttons[7].FunctionCode = 400;
    CopyToField(s->Current.LinkExe[1], u"C:\\Games\\game.exe");

    auto copy = std::make_unique<SETTING_INFO>(*s);
    ValidateProfile(*copy);
    EXPECT_EQ(Name(copy->Current.Colors[3]), u"NEW");
    EXPECT_TRUE(AllZero(copy->Current.Colors[3].KeyColor, sizeof copy->Current.Colors[3].KeyColor));
    EXPECT_EQ(Name(copy->Current.Colors[0]), u"Mine");
    EXPECT_EQ(copy->Current.Colors[0].KeyColor[0], 0x123456u);
    EXPECT_EQ(copy->Current.Buttons[7].FunctionCode, 400);
    EXPECT_EQ(FieldText(copy->Current.LinkExe[1]), u"C:\\Games\\game.exe");

    // The slot's preset belongs to a rebuilt set 0 only: a named set 0 keeps
    // the user's colours when another set is repaired.
    ResetProfileDefaults(s->Current, false, 2);
    EXPECT_EQ(Name(s->Current.Colors[3]), u"NEW");
    EXPECT_EQ(s->Current.Colors[0].KeyColor[1], 0x123456u);
    EXPECT_EQ(s->Current.Buttons[7].FunctionCode, 400);

    std::memset(s->Current.Colors[0].LightName, 0, sizeof s->Current.Colors[0].LightName);
    ResetProfileDefaults(s->Current, false, 2);
    EXPECT_EQ(Name(s->Current.Colors[0]), u"DEFAULT");
    EXPECT_EQ(s->Current.Colors[0].KeyColor[1], 0x00FF00u);
    EXPECT_EQ(s->Current.Colors[0].KeyColor[109], 0u);
}

TEST(ProfileModel, TextFieldsAreCutToFitWithoutSplittingACharacter) {
    char16_t field[6];
    std::memset(field, 0xFF, sizeof field);
    SetFieldText(field, u"abcdefgh");
    EXPECT_EQ(FieldText(field), u"abcde");
    SetFieldText(field, u"ab");
    EXPECT_EQ(field[2], 0); // the rest of the field is cleared
    EXPECT_EQ(field[5], 0);
    SetFieldText(field, u"abcd\U0001F600"); // the pair would straddle the cut
    EXPECT_EQ(FieldText(field), u"abcd");
    SetFieldText(field, u"abc\U0001F600");
    EXPECT_EQ(FieldText(field), u"abc\U0001F600");
}

} // namespace
} // namespace orv
