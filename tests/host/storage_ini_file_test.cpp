// CIniFile and CIniSession on real files: creation, the readers' rules, and
// that no write loses what another program put into the file.
#include "storage/ini_file.h"

#include "storage_test_support.h"

namespace orv {
namespace {

class IniFileTest : public testing::StorageTest {
protected:
    const std::u16string path = testing::kDataDir + u"test.ini";
    CIniFile ini{path};
};

TEST_F(IniFileTest, EnsureExistsCreatesOnlyAMissingFile) {
    ini.EnsureExists();
    EXPECT_EQ(Bytes(path), "\xFF\xFE");
    PutText(path, u"[A]\r\nx=1\r\n");
    ini.EnsureExists();
    EXPECT_EQ(Text(path), u"[A]\r\nx=1\r\n");
}

TEST_F(IniFileTest, FirstWriteCreatesAUtf16FileAndReadsCreateNothing) {
    EXPECT_EQ(ini.ReadString(u"A", u"x", u"dflt"), u"dflt");
    EXPECT_EQ(ini.ReadInt(u"A", u"x", -1), -1);
    EXPECT_FALSE(files().Exists(path));

    EXPECT_NE(ini.WriteString(u"Setting", u"FWVersion", u"15"), 0);
    EXPECT_NE(ini.WriteInt(u"Setting", u"Plug", -1), 0);
    EXPECT_EQ(Bytes(path), testing::Utf16File(u"[Setting]\r\nFWVersion=15\r\nPlug=-1\r\n"));
    EXPECT_EQ(ini.ReadString(u"setting", u"fwversion", u""), u"15");
    EXPECT_EQ(ini.ReadInt(u"Setting", u"Plug", 0), -1);
}

TEST_F(IniFileTest, StringReaderCutsAt2047Units) {
    ini.WriteString(u"A", u"long", std::u16string(5000, u'x'));
    EXPECT_EQ(ini.ReadString(u"A", u"long", u"").size(), 2047u);
    EXPECT_EQ(ini.ReadString(u"A", u"none", std::u16string(3000, u'd')).size(), 2047u);
}

TEST_F(IniFileTest, IntegerReaderDefaultsOnlyWithoutAValue) {
    PutText(path, u"[I]\r\nnovalue\r\nempty=\r\nblank=  \r\nquotes=\"\"\r\nquoted=\" 5\"\r\n"
                  u"word=abc\r\nlong=123456789012345678901234567890\r\n");
    struct Case {
        const char16_t* key;
        std::int32_t expected;
    };
    const Case cases[] = {{u"missing", 77}, {u"novalue", 77},     {u"empty", 77},
                          {u"blank", 77},   {u"quotes", 77},      {u"quoted", 5},
                          {u"word", 0},     {u"long", 1849262357}}; // the reader sees 29 digits
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadInt(u"I", c.key, 77), c.expected) << ToUtf8(c.key);
}

TEST_F(IniFileTest, WritesKeepWhatAnotherProgramWroteInBetween) {
    ini.WriteString(u"Setting", u"Profile", u"1");
    PutText(path, Text(path) + u"Language=103\r\n[Theirs]\r\nk=v\r\n");
    ini.WriteString(u"Setting", u"Profile", u"2");
    EXPECT_EQ(Text(path), u"[Setting]\r\nProfile=2\r\nLanguage=103\r\n[Theirs]\r\nk=v\r\n");

    // Also when it writes while one of our sessions is open.
    CIniSession session{ini};
    EXPECT_EQ(session.ReadInt(u"Setting", u"Language", 0), 103);
    session.WriteInt(u"Setting", u"Profile", 3);
    session.WriteInt(u"Setting", u"KeyMode", 1);
    EXPECT_EQ(session.ReadInt(u"Setting", u"KeyMode", 0), 1); // reads see pending writes
    PutText(path, u"[Setting]\r\nProfile=2\r\nLanguage=105\r\n");
    EXPECT_TRUE(session.Commit());
    EXPECT_EQ(Text(path), u"[Setting]\r\nProfile=3\r\nLanguage=105\r\nKeyMode=1\r\n");
}

TEST_F(IniFileTest, AnUnchangedValueLeavesTheFileAlone) {
    PutText(path, u"[A]\r\nx =  1\r\n");
    EXPECT_NE(ini.WriteInt(u"a", u"X", 1), 0);
    EXPECT_EQ(Text(path), u"[A]\r\nx =  1\r\n");
}

TEST_F(IniFileTest, FailedWritesReportZeroAndLoseNothing) {
    PutText(path, u"[A]\r\nx=1\r\n");
    files().failWrites = true; // a read-only folder or a full disk
    EXPECT_EQ(ini.WriteString(u"A", u"x", u"2"), 0);
    EXPECT_EQ(ini.WriteString(u"B", u"y", u"2"), 0);
    files().failWrites = false;
    EXPECT_EQ(Text(path), u"[A]\r\nx=1\r\n");
    EXPECT_EQ(ini.ReadString(u"A", u"x", u""), u"1");

    // A file that exists but cannot be read is never replaced.
    const std::u16string folder = testing::kDataDir + u"folder.ini";
    ASSERT_TRUE(files().MakeDirectory(folder));
    EXPECT_EQ(CIniFile(folder).WriteString(u"A", u"x", u"1"), 0);
    EXPECT_TRUE(files().IsDirectory(folder));

    // A missing folder: nothing is created anywhere.
    const std::u16string nowhere = testing::kDataDir + u"Missing\\x.ini";
    EXPECT_EQ(CIniFile(nowhere).WriteString(u"A", u"x", u"1"), 0);
    EXPECT_FALSE(files().Exists(nowhere));
}

TEST_F(IniFileTest, APathTooLongForTheServiceIsNeverCut) {
    std::u16string longPath = testing::kDataDir + std::u16string(300, u'n') + u".ini";
    CIniFile(longPath).EnsureExists();
    EXPECT_EQ(CIniFile(longPath).WriteString(u"A", u"x", u"1"), 0);
    EXPECT_FALSE(files().Exists(longPath));
    EXPECT_FALSE(files().Exists(longPath.substr(0, kMaxIniPath)));
    EXPECT_EQ(CIniFile(longPath).ReadInt(u"A", u"x", 9), 9);
}

} // namespace
} // namespace orv
