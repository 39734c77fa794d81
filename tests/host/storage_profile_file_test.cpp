// Profile files: what a load reads, creates and leaves alone; byte-exact
// round trips; damaged files; and saves that are never seen half-done.
#include "storage/profile_file.h"

#include "storage/ini_file.h"

#include "storage_test_support.h"

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace orv {
namespace {

using testing::ZeroRecord;

void FillPattern(void* data, std::size_t size, std::uint32_t seed) {
    auto* bytes = static_cast<unsigned char*>(data);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<unsigned char>(x);
    }
}

// Every byte of the stored records set, including those nobody interprets,
// and a LaunchPath that fills its field without a terminator.
std::unique_ptr<PROFILE_DATA> PatternProfile(std::uint32_t seed) {
    auto p = ZeroRecord<PROFILE_DATA>();
    FillPattern(p->Buttons, sizeof p->Buttons, seed);
    FillPattern(&p->Light, sizeof p->Light, seed + 1);
    FillPattern(p->Colors, sizeof p->Colors, seed + 2);
    for (char16_t& c : p->Buttons[110].LaunchPath)
        c = u'L';
    for (int i = 0; i < kLinkExeCount; ++i)
        CopyToField(p->LinkExe[i], FormatW(u"C:\\Games %d\\game%d.exe", seed, i));
    return p;
}

constexpr int kParts = 12;

bool SamePart(const PROFILE_DATA& a, const PROFILE_DATA& b, int part) {
    int first = part * 10, count = part == 11 ? 1 : 10;
    return std::memcmp(&a.Buttons[first], &b.Buttons[first], count * sizeof(BUTTON_INFO)) == 0;
}

bool SameStored(const PROFILE_DATA& a, const PROFILE_DATA& b) {
    return std::memcmp(a.Buttons, b.Buttons, sizeof a.Buttons) == 0 &&
           std::memcmp(&a.Light, &b.Light, sizeof a.Light) == 0 &&
           std::memcmp(a.Colors, b.Colors, sizeof a.Colors) == 0 &&
           std::memcmp(a.LinkExe, b.LinkExe, sizeof a.LinkExe) == 0;
}

class ProfileFileTest : public testing::StorageTest {
protected:
    ProfileFileTest() { MakeProfilesFolder(); }
    const std::u16string path = testing::kDataDir + u"Profiles\\Game.ini";
    std::unique_ptr<PROFILE_DATA> saved = PatternProfile(7);
    std::unique_ptr<SETTING_INFO> settings = ZeroRecord<SETTING_INFO>();
};

TEST_F(ProfileFileTest, MissingFileIsCreatedWithOnlyItsNameAndLoadsCleared) {
    std::u16string file = testing::kDataDir + u"Profiles\\Profile 3.ini";
    EXPECT_EQ(ProfileFilePath(u"Profile 3"), file);
    ClearProfile(*settings);
    LoadProfileFile(u"Profile 3", settings->Current);
    ValidateProfile(*settings);

    EXPECT_EQ(Bytes(file), testing::Utf16File(u"[GROUP]\r\nCurrentProfileName=Profile 3\r\n"));
    auto cleared = ZeroRecord<SETTING_INFO>();
    ClearProfile(*cleared);
    EXPECT_TRUE(SameStored(settings->Current, cleared->Current));

    // Without the folder nothing is created: the first start sees the gap.
    const std::u16string other = testing::kDataDir + u"Elsewhere\\";
    LoadProfileFile(u"Profile 3", settings->Current, other);
    EXPECT_FALSE(files().Exists(other + u"Profile 3.ini"));
}

TEST_F(ProfileFileTest, SaveThenLoadGivesBackEveryByte) {
    SaveProfileFile(u"Game", *saved);

    // The keys in their order, each value of its exact length.
    ini::Document doc = ini::Document::Parse(Bytes(path));
    std::u16string text = Text(path);
    std::vector<std::pair<std::u16string, std::size_t>> keys = {{u"CurrentProfileName", 4}};
    for (int i = 0; i < kLinkExeCount; ++i)
        keys.push_back({FormatW(u"LinkExe%d", i), FieldText(saved->LinkExe[i]).size()});
    keys.push_back({u"LIGHT_INFO", 50});
    for (int i = 0; i < kColorSetCount; ++i)
        keys.push_back({FormatW(u"LIGHT_DATA_%d", i), 1090});
    for (int part = 1; part <= kParts; ++part)
        keys.push_back({FormatW(u"BUTTON_INFO_PART%d", part), part == 12 ? 2786u : 27842u});
    std::size_t at = text.find(u"[GROUP]\r\n");
    ASSERT_EQ(at, 0u);
    for (const auto& [key, length] : keys) {
        std::size_t next = text.find(u"\r\n" + key + u"=", at);
        ASSERT_NE(next, std::u16string::npos) << ToUtf8(key) << " missing or out of order";
        at = next + 1;
        ASSERT_TRUE(doc.Find(u"GROUP", key).has_value());
        EXPECT_EQ(doc.Find(u"GROUP", key)->size(), length) << ToUtf8(key);
    }

    auto loaded = ZeroRecord<PROFILE_DATA>();
    std::memset(loaded.get(), 0xCC, sizeof *loaded);
    LoadProfileFile(u"Game", *loaded);
    EXPECT_TRUE(SameStored(*loaded, *saved));
}

TEST_F(ProfileFileTest, MissingKeysLeaveTheirPartAsTheCallerPreparedIt) {
    SaveProfileFile(u"Game", *saved);
    std::u16string text = Text(path);
    for (std::u16string key : {u"\r\nBUTTON_INFO_PART3=", u"\r\nLIGHT_INFO="}) {
        std::size_t begin = text.find(key) + 2;
        text.erase(begin, text.find(u"\r\n", begin) + 2 - begin);
    }
    PutText(path, text);

    auto loaded = ZeroRecord<PROFILE_DATA>();
    std::memset(loaded.get(), 0xCC, sizeof *loaded);
    LoadProfileFile(u"Game", *loaded);
    for (int part = 0; part < kParts; ++part)
        EXPECT_EQ(SamePart(*loaded, *saved, part), part != 2) << part;
    EXPECT_EQ(loaded->Buttons[20].AssignKind, 0xCC);
    EXPECT_EQ(loaded->Buttons[29].MacroData[239], 0xCC);
    // The effect bytes are cleared before the read; the rest stays.
    EXPECT_EQ(loaded->Light.Effect, 0);
    EXPECT_EQ(loaded->Light.EffectParam, 0);
    EXPECT_EQ(loaded->Light.Color, 0xCCCCCCCCu);
    EXPECT_EQ(std::memcmp(loaded->Colors, saved->Colors, sizeof saved->Colors), 0);

    ClearProfile(*settings);
    LoadProfileFile(u"Game", settings->Current);
    ValidateProfile(*settings);
    LIGHT_INFO expected{};
    expected.EffectLevel = 5;
    EXPECT_EQ(std::memcmp(&settings->Current.Light, &expected, sizeof expected), 0);
}

TEST_F(ProfileFileTest, DamagedFilesSpareEveryIntactValue) {
    SaveProfileFile(u"Game", *saved);
    const std::u16string good = Text(path);
    auto valueOf = [&](std::u16string_view key) {
        std::size_t b = good.find(u"\r\n" + std::u16string(key) + u"=");
        b = good.find(u'=', b) + 1;
        return std::pair{b, good.find(u"\r\n", b)};
    };
    struct Case {
        const char* what;
        std::function<std::string()> damage;
        std::vector<int> spoiltParts; // parts that must keep the caller's bytes
        bool colorSet2Spoilt, linksSpoilt;
    };
    const std::vector<Case> cases = {
        {"cut in the middle of a structure value",
         [&] {
             return testing::Utf16File(good.substr(0, valueOf(u"BUTTON_INFO_PART5").first + 999));
         },
         {4, 5, 6, 7, 8, 9, 10, 11},
         false,
         false},
        {"wrong checksum",
         [&] {
             std::u16string t = good;
             auto [b, e] = valueOf(u"LIGHT_DATA_2");
             t[e - 1] = t[e - 1] == u'0' ? u'1' : u'0';
             return testing::Utf16File(t);
         },
         {},
         true,
         false},
        {"lower-case hex is fine",
         [&] {
             std::u16string t = good;
             auto [b, e] = valueOf(u"BUTTON_INFO_PART7");
             for (std::size_t i = b; i < e; ++i)
                 t[i] = static_cast<char16_t>(std::tolower(t[i]));
             return testing::Utf16File(t);
         },
         {},
         false,
         false},
        {"a 1 MB line",
         [&] {
             std::u16string t = good;
             t.insert(valueOf(u"BUTTON_INFO_PART2").first - 18,
                      u"junk=" + std::u16string(1 << 20, u'j') + u"\r\n");
             return testing::Utf16File(t);
         },
         {},
         false,
         false},
        {"binary garbage between lines",
         [&] {
             std::string bytes = testing::Utf16File(good);
             std::string garbage;
             for (int i = 0; i < 4096; ++i)
                 garbage += static_cast<char>(i * 7919);
             std::size_t at = 2 + 2 * (valueOf(u"BUTTON_INFO_PART9").second + 2);
             return bytes.insert(at, garbage + std::string("\r\0\n\0", 4));
         },
         {},
         false,
         false},
        {"no byte-order mark (8-bit)", [&] { return ToUtf8(good); }, {}, false, false},
        {"empty file",
         [] { return std::string(); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         true,
         true},
    };
    for (const Case& c : cases) {
        Put(path, c.damage());
        auto loaded = ZeroRecord<PROFILE_DATA>();
        std::memset(loaded.get(), 0xCC, sizeof *loaded);
        LoadProfileFile(u"Game", *loaded);
        for (int part = 0; part < kParts; ++part) {
            bool spoilt =
                std::find(c.spoiltParts.begin(), c.spoiltParts.end(), part) != c.spoiltParts.end();
            EXPECT_EQ(SamePart(*loaded, *saved, part), !spoilt) << c.what << ", part " << part + 1;
            if (spoilt) {
                EXPECT_EQ(loaded->Buttons[part * 10].FunctionCode, int32_t(0xCCCCCCCC)) << c.what;
            }
        }
        EXPECT_EQ(std::memcmp(&loaded->Colors[2], &saved->Colors[2], sizeof(LIGHT_DATA)) == 0,
                  !c.colorSet2Spoilt)
            << c.what;
        EXPECT_EQ(std::memcmp(&loaded->Colors[1], &saved->Colors[1], sizeof(LIGHT_DATA)) == 0,
                  !c.linksSpoilt)
            << c.what;
        EXPECT_EQ(FieldText(loaded->LinkExe[4]), c.linksSpoilt ? u"" : FieldText(saved->LinkExe[4]))
            << c.what;
    }
}

TEST_F(ProfileFileTest, ReadOnlyFolderStillLoadsAndChangesNothing) {
    SaveProfileFile(u"Game", *saved);
    std::u16string text = Text(path);
    text.replace(text.find(u"=Game"), 5, u"=Old"); // so that the load has a name to write
    PutText(path, text);
    std::string before = Bytes(path);

    files().failWrites = true;
    auto loaded = ZeroRecord<PROFILE_DATA>();
    LoadProfileFile(u"Game", *loaded);
    EXPECT_TRUE(SameStored(*loaded, *saved));
    SaveProfileFile(u"Game", *PatternProfile(9));
    files().failWrites = false;
    EXPECT_EQ(Bytes(path), before);
}

TEST_F(ProfileFileTest, SavingKeepsWhatTheConfigurationProgramAdded) {
    PutText(path, u"; written by hand\r\n[GROUP]\r\nCurrentProfileName=Old\r\nTheirKey=1\r\n"
                  u"LIGHT_INFO=bad\r\n\r\n[Extra]\r\nx=y\r\n");
    SaveProfileFile(u"Game", *saved);
    std::u16string text = Text(path);
    EXPECT_EQ(text.find(u"; written by hand\r\n[GROUP]\r\nCurrentProfileName=Game\r\nTheirKey=1\r\n"
                        u"LIGHT_INFO="),
              0u);
    EXPECT_NE(text.find(u"\r\nBUTTON_INFO_PART12="), std::u16string::npos);
    EXPECT_NE(text.find(u"\r\n\r\n[Extra]\r\nx=y\r\n"), std::u16string::npos);
    auto loaded = ZeroRecord<PROFILE_DATA>();
    LoadProfileFile(u"Game", *loaded);
    EXPECT_TRUE(SameStored(*loaded, *saved));
}

TEST_F(ProfileFileTest, LinkTableReadsOnlyLinksAndCreatesNothing) {
    LINK_EXE_TABLE links;
    std::memset(links, 0x41, sizeof links);
    LoadLinkTable(u"Nobody", {}, links);
    EXPECT_FALSE(files().Exists(ProfileFilePath(u"Nobody")));
    for (const auto& link : links)
        EXPECT_EQ(FieldText(link), u"");

    PutText(path,
            u"[GROUP]\r\nLinkExe0=C:\\a.exe\r\nLinkExe3=" + std::u16string(5000, u'p') + u"\r\n");
    std::string before = Bytes(path);
    LoadLinkTable(u"Game", {}, links);
    EXPECT_EQ(FieldText(links[0]), u"C:\\a.exe");
    EXPECT_EQ(FieldText(links[1]), u"");
    EXPECT_EQ(FieldText(links[3]), std::u16string(259, u'p'));
    EXPECT_EQ(Bytes(path), before);
}

// A save killed at any moment leaves the old file or the new one, whole.
TEST_F(ProfileFileTest, AKilledSaveNeverLeavesAHalfWrittenFile) {
    auto other = PatternProfile(8);
    SaveProfileFile(u"Game", *saved);
    for (int round = 0; round < 12; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                SaveProfileFile(u"Game", i % 2 ? *saved : *other);
        }
        usleep(2000 + 3000 * round);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        auto loaded = ZeroRecord<PROFILE_DATA>();
        LoadProfileFile(u"Game", *loaded);
        EXPECT_TRUE(SameStored(*loaded, *saved) || SameStored(*loaded, *other)) << round;
    }
}

} // namespace
} // namespace orv
