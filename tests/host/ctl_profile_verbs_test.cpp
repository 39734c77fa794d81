// orvctl's profile verbs on a data folder laid out as a service start leaves
// it: each edit read back through the storage code, what the running service
// is asked to do, export and import, and wrong words that change no file.
#include "profile_verbs.h"

#include "device/key_names.h"
#include "device/key_tables.h"
#include "storage/ini_file.h"
#include "storage/profile_file.h"
#include "storage/profile_list.h"
#include "storage/settings.h"

#include "storage_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace orv {
namespace {

using testing::kDataDir;
using testing::ZeroRecord;

class FakeService : public ctl::IServiceHooks {
public:
    int CurrentSlot() override { return current; }
    bool Reload() override {
        ++reloads;
        return answers;
    }
    bool UploadCurrent() override {
        uploads.push_back(current);
        return answers;
    }

    int current = -1;
    bool answers = true;
    int reloads = 0;
    std::vector<int> uploads; // the slot current at each upload
};

struct Outcome {
    int rc;
    std::string out, err;
};

class ProfileVerbsTest : public testing::StorageTest {
protected:
    ProfileVerbsTest() {
        MakeProfilesFolder();
        auto settings = ZeroRecord<SETTING_INFO>();
        ResetSettings(*settings);
        SaveSettings(*settings);
        LoadSettings(*settings);
        auto profile = ZeroRecord<PROFILE_DATA>();
        for (int slot = 0; slot < kSlotCount; ++slot) {
            ResetProfileDefaults(*profile, true, slot);
            SaveProfileFile(FormatW(u"Profile %d", slot), *profile);
        }
    }

    Outcome Run(std::vector<std::string> words) {
        std::ostringstream out, err;
        int rc = ctl::RunProfileVerb(words, service, out, err);
        return {rc, out.str(), err.str()};
    }
    std::unique_ptr<PROFILE_DATA> Read(int slot) {
        auto profile = ZeroRecord<PROFILE_DATA>();
        ReadProfileFile(FormatW(u"Profile %d", slot), *profile);
        return profile;
    }
    static std::u16string ProfilePath(int slot) {
        return ProfileFilePath(FormatW(u"Profile %d", slot));
    }
    // Every file below the data folder, with its bytes.
    std::map<std::string, std::string> Snapshot() {
        std::map<std::string, std::string> files;
        const std::filesystem::path root = host.files->HostPath(kDataDir);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }
    static std::string Count(const std::string& text, char c) {
        return std::to_string(std::count(text.begin(), text.end(), c));
    }

    FakeService service;
};

TEST(KeyNames, NameEveryKeyOnceAndLineUpWithTheDefaultKeyCodes) {
    std::set<std::u16string> folded;
    for (const char16_t* name : g_KeyNames)
        folded.insert(FoldedCopy(name));
    EXPECT_EQ(folded.size(), static_cast<std::size_t>(kKeyCount));

    // A name table shifted by one against the key tables would still be 111
    // unique names; the default key code under each name catches it.
    const std::pair<const char16_t*, int> cases[] = {
        {u"Esc", 0x29},        {u"f12", 0x45},       {u"Backquote", 0x35},
        {u"0", 0x27},          {u"Backspace", 0x2A}, {u"NumMinus", 0x56},
        {u"Tab", 0x2B},        {u"NumPlus", 0x57},   {u"a", 0x04},
        {u"Enter", 0x28},      {u"Num6", 0x5E},      {u"LeftShift", 0xE1},
        {u"RIGHTSHIFT", 0xE5}, {u"Up", 0x52},        {u"NumEnter", 0x58},
        {u"LeftCtrl", 0xE0},   {u"Space", 0x2C},     {u"Fn", kKeyCodeIgnored},
        {u"NumDecimal", 0x63}, {u"NonUsHash", 0x32}, {u"NonUsBackslash", 0x64},
        {u"NumComma", 0x85},
    };
    for (auto [name, code] : cases) {
        const int key = FindKeyByName(name);
        ASSERT_GE(key, 0) << ToUtf8(name);
        EXPECT_EQ(g_DefaultKeyMatrix[g_KeyPositions[key]], code) << ToUtf8(name);
    }
    EXPECT_EQ(FindKeyByName(u"Esc "), -1);
    EXPECT_EQ(FindKeyByName(u""), -1);
}

TEST(KeysVerb, ListsTheNamesInIndexOrder) {
    std::ostringstream out, err;
    EXPECT_EQ(ctl::RunKeysVerb({}, out, err), ctl::kExitOk);
    std::istringstream lines(out.str());
    std::string line;
    int index = 0;
    while (std::getline(lines, line))
        EXPECT_EQ(line, ToUtf8(g_KeyNames[index++]));
    EXPECT_EQ(index, kKeyCount);
    EXPECT_EQ(ctl::RunKeysVerb({"extra"}, out, err), ctl::kExitBadInput);
}

TEST_F(ProfileVerbsTest, SetLightingChangesTheGivenFieldsWithRedInTheLowByte) {
    const LIGHT_INFO before = Read(2)->Light;
    Outcome r = Run({"set-lighting", "2", "--effect", "20", "--level", "1", "--color", "1A2B3C"});
    ASSERT_EQ(r.rc, ctl::kExitOk) << r.err;
    const LIGHT_INFO after = Read(2)->Light;
    EXPECT_EQ(after.Effect, 20);
    EXPECT_EQ(after.EffectOption, before.EffectOption);
    EXPECT_EQ(after.EffectLevel, 1);
    EXPECT_EQ(after.Color, 0x3C2B1Au);
    EXPECT_EQ(std::memcmp(after.Reserved2, before.Reserved2, sizeof before.Reserved2), 0);
    EXPECT_EQ(Bytes(ProfilePath(2)).substr(0, 2), "\xFF\xFE");

    ASSERT_EQ(Run({"set-lighting", "2", "--option", "2"}).rc, ctl::kExitOk);
    EXPECT_EQ(Read(2)->Light.EffectOption, 2);
    EXPECT_EQ(Read(2)->Light.Color, 0x3C2B1Au);
}

TEST_F(ProfileVerbsTest, SetKeyColorChangesOneKeyOrEveryKeyOfOneSet) {
    auto before = Read(3);
    ASSERT_EQ(Run({"set-key-color", "3", "space", "#FF8000", "--set", "4"}).rc, ctl::kExitOk);
    auto after = Read(3);
    const int space = FindKeyByName(u"Space");
    for (int key = 0; key < kKeyCount; ++key)
        EXPECT_EQ(after->Colors[4].KeyColor[key],
                  key == space ? 0x0080FFu : before->Colors[4].KeyColor[key]);
    EXPECT_EQ(std::memcmp(after->Colors, before->Colors, 4 * sizeof(LIGHT_DATA)), 0);

    ASSERT_EQ(Run({"set-key-color", "3", "--all", "0000ff"}).rc, ctl::kExitOk);
    after = Read(3);
    for (std::uint32_t color : after->Colors[0].KeyColor)
        EXPECT_EQ(color, 0xFF0000u);
    EXPECT_EQ(after->Colors[4].KeyColor[space], 0x0080FFu);
}

TEST_F(ProfileVerbsTest, AssignSetsKindFunctionAndPath) {
    const int f1 = FindKeyByName(u"F1");
    ASSERT_EQ(Run({"assign", "1", "f1", "launch", "C:\\Games\\Très\\run.exe"}).rc, ctl::kExitOk);
    BUTTON_INFO key = Read(1)->Buttons[f1];
    EXPECT_EQ(key.AssignKind, kAssignFunction);
    EXPECT_EQ(key.FunctionCode, 223);
    EXPECT_EQ(std::u16string(FieldText(key.LaunchPath)), u"C:\\Games\\Très\\run.exe");

    ASSERT_EQ(Run({"assign", "1", "F1", "function", "263"}).rc, ctl::kExitOk);
    key = Read(1)->Buttons[f1];
    EXPECT_EQ(key.AssignKind, kAssignFunction);
    EXPECT_EQ(key.FunctionCode, 263);

    ASSERT_EQ(Run({"assign", "1", "F1", "disable"}).rc, ctl::kExitOk);
    key = Read(1)->Buttons[f1];
    EXPECT_EQ(key.AssignKind, kAssignDisabled);
    EXPECT_EQ(key.FunctionCode, 0);

    ASSERT_EQ(Run({"assign", "1", "F1", "default"}).rc, ctl::kExitOk);
    key = Read(1)->Buttons[f1];
    EXPECT_EQ(key.AssignKind, kAssignBuiltIn);
    EXPECT_EQ(key.LaunchPath[0], 0);
}

TEST_F(ProfileVerbsTest, ShowNamesKeysAndColoursAsTheyAreTyped) {
    ASSERT_EQ(Run({"assign", "4", "Num5", "function", "401"}).rc, ctl::kExitOk);
    ASSERT_EQ(Run({"set-key-color", "4", "Esc", "123456", "--set", "1"}).rc, ctl::kExitOk);
    ASSERT_EQ(Run({"link", "4", "C:\\Games\\game.exe"}).rc, ctl::kExitOk);
    Outcome r = Run({"show", "4"});
    ASSERT_EQ(r.rc, ctl::kExitOk) << r.err;
    EXPECT_NE(r.out.find("slot 4: Profile 4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("lighting: effect 6 option 1 level 5 color FFFF00\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("color set 1 \"NEW\": Esc=123456 F1=000000"), std::string::npos);
    EXPECT_NE(r.out.find("key Num5: function 401\n"), std::string::npos);
    EXPECT_NE(r.out.find("link 0: C:\\Games\\game.exe\n"), std::string::npos);
}

TEST_F(ProfileVerbsTest, LinkFillsTheFirstFreeEntryAndUnlinkClearsIt) {
    ASSERT_EQ(Run({"link", "0", "C:\\a.exe"}).rc, ctl::kExitOk);
    ASSERT_EQ(Run({"link", "0", "C:\\b.exe"}).rc, ctl::kExitOk);
    ASSERT_EQ(Run({"link", "0", "c:\\A.exe"}).rc, ctl::kExitOk); // already linked: kept once
    ASSERT_EQ(Run({"unlink", "0", "C:\\A.EXE"}).rc, ctl::kExitOk);
    ASSERT_EQ(Run({"link", "0", "C:\\c.exe"}).rc, ctl::kExitOk);
    LINK_EXE_TABLE links;
    LoadLinkTable(u"Profile 0", {}, links);
    EXPECT_EQ(std::u16string(FieldText(links[0])), u"C:\\c.exe");
    EXPECT_EQ(std::u16string(FieldText(links[1])), u"C:\\b.exe");
    EXPECT_EQ(links[2][0], 0);
    for (const char* exe : {"C:\\d.exe", "C:\\e.exe", "C:\\f.exe"})
        ASSERT_EQ(Run({"link", "0", exe}).rc, ctl::kExitOk);
    Outcome full = Run({"link", "0", "C:\\g.exe"});
    EXPECT_EQ(full.rc, ctl::kExitBadInput);
    EXPECT_NE(full.err.find("5 programs already"), std::string::npos) << full.err;
}

TEST_F(ProfileVerbsTest, RenameMovesTheFileAndNamesItInTheList) {
    ASSERT_EQ(Run({"set-lighting", "5", "--effect", "9"}).rc, ctl::kExitOk);
    Outcome r = Run({"rename", "5", "Ночь"});
    ASSERT_EQ(r.rc, ctl::kExitOk) << r.err;
    EXPECT_FALSE(files().Exists(ProfilePath(5)));
    PROFILE_LIST_ITEM item;
    ReadListItem(ReadSlotMapping(5), item);
    EXPECT_EQ(std::u16string(FieldText(item.ProfileName)), u"Ночь");
    const std::u16string path = ProfileFilePath(u"Ночь");
    EXPECT_EQ(CIniFile(path).ReadString(kProfileGroup, u"CurrentProfileName", u""), u"Ночь");
    auto profile = ZeroRecord<PROFILE_DATA>();
    ReadProfileFile(u"Ночь", *profile);
    EXPECT_EQ(profile->Light.Effect, 9);

    // A change of case alone keeps the file and renames the record.
    ASSERT_EQ(Run({"rename", "5", "НОЧЬ"}).rc, ctl::kExitOk);
    ReadListItem(ReadSlotMapping(5), item);
    EXPECT_EQ(std::u16string(FieldText(item.ProfileName)), u"НОЧЬ");
    ReadProfileFile(u"НОЧЬ", *profile);
    EXPECT_EQ(profile->Light.Effect, 9);
}

TEST_F(ProfileVerbsTest, ExportAndImportKeepTheFileByteForByte) {
    files().MakeDirectory(u"C:\\out");
    ASSERT_EQ(Run({"assign", "2", "Q", "function", "1000"}).rc, ctl::kExitOk);
    const std::string original = Bytes(ProfilePath(2));
    ASSERT_EQ(Run({"export", "2", "C:\\out\\p2.ini"}).rc, ctl::kExitOk);
    EXPECT_EQ(Bytes(u"C:\\out\\p2.ini"), original);

    ASSERT_EQ(Run({"set-lighting", "2", "--effect", "0"}).rc, ctl::kExitOk);
    ASSERT_NE(Bytes(ProfilePath(2)), original);
    ASSERT_EQ(Run({"import", "2", "C:\\out\\p2.ini"}).rc, ctl::kExitOk);
    EXPECT_EQ(Bytes(ProfilePath(2)), original);

    // Into another slot, an 8-bit file as another machine may have written it.
    std::string ansi = "[GROUP]\r\nCurrentProfileName=Other\r\n";
    auto profile = ZeroRecord<PROFILE_DATA>();
    ResetProfileDefaults(*profile, true, 3);
    ansi += "LIGHT_INFO=" + ToUtf8(ini::EncodeStruct(&profile->Light, sizeof profile->Light));
    for (int i = 0; i < kColorSetCount; ++i)
        ansi += "\r\nLIGHT_DATA_" + std::to_string(i) + "=" +
                ToUtf8(ini::EncodeStruct(&profile->Colors[i], sizeof(LIGHT_DATA)));
    for (int part = 0; part < 12; ++part)
        ansi += "\r\nBUTTON_INFO_PART" + std::to_string(part + 1) + "=" +
                ToUtf8(ini::EncodeStruct(&profile->Buttons[part * 10],
                                         (part == 11 ? 1 : 10) * sizeof(BUTTON_INFO)));
    Put(u"C:\\out\\ansi.ini", ansi);
    ASSERT_EQ(Run({"import", "0", "C:\\out\\ansi.ini"}).rc, ctl::kExitOk);
    EXPECT_EQ(Bytes(ProfilePath(0)), ansi);
    EXPECT_EQ(Read(0)->Light.Effect, 6);
}

TEST_F(ProfileVerbsTest, TheServiceTakesUpEditsThatConcernIt) {
    struct Case {
        std::vector<std::string> words;
        int current;
        int reloads;
        std::vector<int> uploads;
    };
    const Case cases[] = {
        {{"set-lighting", "1", "--effect", "3"}, 1, 1, {}},
        {{"set-lighting", "1", "--effect", "3"}, 2, 0, {}},
        {{"set-lighting", "1", "--effect", "3"}, -1, 0, {}},
        {{"set-key-color", "2", "A", "00FF00", "--upload"}, 2, 1, {2}},
        {{"assign", "0", "A", "disable", "--upload"}, 0, 1, {0}},
        {{"rename", "3", "Another", "--upload"}, 3, 1, {3}},
        {{"link", "3", "C:\\x.exe"}, 0, 1, {}}, // the service keeps every slot's links
        {{"rename", "3", "Other"}, 1, 1, {}},
        {{"show", "0"}, 0, 0, {}},
    };
    for (const Case& c : cases) {
        service = FakeService();
        service.current = c.current;
        Outcome r = Run(c.words);
        EXPECT_EQ(r.rc, ctl::kExitOk) << c.words[0] << ": " << r.err;
        EXPECT_EQ(service.reloads, c.reloads) << c.words[0] << " current " << c.current;
        EXPECT_EQ(service.uploads, c.uploads) << c.words[0] << " current " << c.current;
    }

    service = FakeService();
    service.current = 4;
    service.answers = false;
    Outcome r = Run({"set-lighting", "4", "--level", "2", "--upload"});
    EXPECT_EQ(r.rc, ctl::kExitFailed);
    EXPECT_EQ(Read(4)->Light.EffectLevel, 2); // saved all the same, and said so
    EXPECT_NE(r.err.find("did not reload"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("did not upload slot 4"), std::string::npos) << r.err;
}

TEST_F(ProfileVerbsTest, WrongWordsChangeNoFile) {
    files().MakeDirectory(u"C:\\out");
    Put(u"C:\\out\\broken.ini", testing::Utf16File(u"[GROUP]\r\nLIGHT_INFO=00\r\n"));
    PutText(u"C:\\out\\text.txt", u"just text\r\n");
    const std::string longPath = "C:\\" + std::string(600, 'p') + ".exe";
    const std::string longName(250, 'n');
    struct Case {
        std::vector<std::string> words;
        const char* says;
        int rc = ctl::kExitBadInput;
        int current = -1; // the service's slot; -1: none runs
    };
    const Case cases[] = {
        {{}, "usage: orvctl profile"},
        {{"frobnicate"}, "unknown verb 'frobnicate'"},
        {{"show", "6"}, "slot 6 is out of range (allowed 0..5)"},
        {{"show", "-1"}, "slot '-1' is not a number (allowed 0..5)"},
        {{"show"}, "expected show N"},
        {{"set-lighting", "0", "--effect", "21"}, "effect 21 is out of range (allowed 0..20)"},
        {{"set-lighting", "0", "--option", "3"}, "option 3 is out of range (allowed 0..2)"},
        {{"set-lighting", "0", "--level", "0"}, "level 0 is out of range (allowed 1..5)"},
        {{"set-lighting", "0", "--color", "12345"}, "colour '12345' is not RRGGBB"},
        {{"set-lighting", "0", "--color", "GG0000"}, "colour 'GG0000' is not RRGGBB"},
        {{"set-lighting", "0"}, "nothing to set"},
        {{"set-lighting", "0", "--effect"}, "option --effect needs a value"},
        {{"set-lighting", "0", "--speed", "1"}, "unknown option --speed"},
        {{"set-key-color", "0", "Escape", "FFFFFF"}, "unknown key 'Escape'"},
        {{"set-key-color", "0", "A", "FFFFFF", "--set", "5"}, "colour set 5 is out of range"},
        {{"assign", "0", "A", "launch"}, "expected assign N KEY launch PATH"},
        {{"assign", "0", "A", "launch", longPath}, "longer than 569 characters"},
        {{"assign", "0", "A", "function", "0"},
         "function code 0 is out of range (allowed 1..65535)"},
        {{"assign", "0", "A", "macro"}, "unknown assignment 'macro'"},
        {{"link", "0", " C:\\x.exe"}, "cannot start or end with a blank"},
        {{"link", "0", "\"C:\\x.exe\""}, "be in quotes"},
        {{"unlink", "0", "C:\\x.exe"}, "does not link C:\\x.exe"},
        {{"rename", "0", "a/b"}, "cannot hold"},
        {{"rename", "0", "Best?"}, "cannot hold"},
        {{"rename", "0", "con"}, "device name"},
        {{"rename", "0", "x."}, "cannot end in '.'"},
        {{"rename", "0", " x"}, "start or end with a blank"},
        {{"rename", "0", longName}, "too long"},
        {{"rename", "0", "\xFF"}, "not valid UTF-8"},
        {{"rename", "0", "profile 1"}, "slot 1 has a profile named profile 1 already"},
        {{"import", "0", "C:\\out\\missing.ini"}, "cannot read C:\\out\\missing.ini"},
        {{"import", "0", "C:\\out\\broken.ini"}, "not a profile file: LIGHT_INFO is malformed"},
        {{"import", "0", "C:\\out\\text.txt"}, "not a profile file: it has no section GROUP"},
        {{"export", "0", "C:\\out"}, "is a folder"},
        {{"set-lighting", "0", "--effect", "1", "--upload"},
         "no service runs",
         ctl::kExitNoService},
        // The service writes only its current slot into the keyboard.
        {{"set-key-color", "2", "A", "00FF00", "--upload"},
         "--upload writes the current slot, which is 0, not 2",
         ctl::kExitBadInput,
         0},
        {{"rename", "3", "Other", "--upload"}, "which is 5, not 3", ctl::kExitBadInput, 5},
    };
    const auto before = Snapshot();
    ASSERT_GE(before.size(), 7u); // config.ini and the six profiles
    for (const Case& c : cases) {
        service = FakeService();
        service.current = c.current;
        Outcome r = Run(c.words);
        std::string what;
        for (const std::string& word : c.words)
            what += word.substr(0, 40) + " ";
        EXPECT_EQ(r.rc, c.rc) << what << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << what << ": " << r.err;
        if (!c.words.empty()) {
            EXPECT_EQ(Count(r.err, '\n'), "1") << what << ": " << r.err;
        }
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(Snapshot(), before) << what;
        EXPECT_EQ(service.reloads + service.uploads.size(), 0u) << what;
    }
}

TEST_F(ProfileVerbsTest, ReadingVerbsWriteNothingAndAFailedWriteIsNoSuccess) {
    // config.ini without the slot records a service start would add.
    PutText(kDataDir + u"config.ini", u"[Setting]\r\nProfile=0\r\n");
    const auto before = Snapshot();
    Outcome list = Run({"list"});
    ASSERT_EQ(list.rc, ctl::kExitOk) << list.err;
    EXPECT_NE(list.out.find("slot 5: Profile 5\n"), std::string::npos) << list.out;
    ASSERT_EQ(Run({"show", "3"}).rc, ctl::kExitOk);
    EXPECT_EQ(Snapshot(), before);

    host.files->failWrites = true;
    Outcome r = Run({"set-lighting", "3", "--effect", "2"});
    EXPECT_EQ(r.rc, ctl::kExitFailed);
    EXPECT_NE(r.err.find("could not write"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

} // namespace
} // namespace orv
