// The INI engine against the platform's own INI functions: the same writes
// give the same file, and each side reads what the other wrote.
#include "storage/paths.h"
#include "base/wstr.h"
#include "e2e_support.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "storage/ini_file.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orv {
namespace {

using win32::U16;
using win32::W;

std::string ReadBytes(const std::wstring& path) {
    return e2e::PathExists(path) ? e2e::ReadFileBytes(path) : "<missing>";
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string Utf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    unsigned x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x);
    }
    return bytes;
}

// The platform's readers, on one file.
std::u16string PlatformString(const std::wstring& path, std::u16string_view section,
                              std::u16string_view key) {
    std::vector<wchar_t> buf(kReadStringChars);
    DWORD n = GetPrivateProfileStringW(W(section).c_str(), W(key).c_str(), L"<default>", buf.data(),
                                       static_cast<DWORD>(buf.size()), path.c_str());
    return U16(std::wstring_view(buf.data(), n));
}

int PlatformInt(const std::wstring& path, std::u16string_view section, std::u16string_view key,
                int def) {
    return static_cast<int>(
        GetPrivateProfileIntW(W(section).c_str(), W(key).c_str(), def, path.c_str()));
}

class IniAgainstPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"orv-ini-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }
    void TearDown() override {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((dir + L"*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((dir + found.cFileName).c_str());
            while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }
    std::u16string Ours(const std::wstring& name) { return U16(dir + name); }

    static inline int counter = 0;
    std::wstring dir;
};

struct Op {
    enum Kind { String, Int, Struct } kind;
    std::u16string section, key, text;
    int number = 0;
    std::vector<unsigned char> bytes;
};

Op Str(std::u16string section, std::u16string key, std::u16string text) {
    return {Op::String, std::move(section), std::move(key), std::move(text), 0, {}};
}
Op Int(std::u16string section, std::u16string key, int number) {
    return {Op::Int, std::move(section), std::move(key), {}, number, {}};
}
Op Struct(std::u16string section, std::u16string key, std::vector<unsigned char> bytes) {
    return {Op::Struct, std::move(section), std::move(key), {}, 0, std::move(bytes)};
}

std::vector<Op> WriteSequence() {
    std::vector<Op> ops = {
        Str(u"Setting", u"FWVersion", u"15"),
        Int(u"Setting", u"Profile", 3),
        Int(u"SETTING", u"profile", -1), // same key, other spelling
        Str(u"GROUP", u"CurrentProfileName", u"Profile 3"),
        Str(u"GROUP", u"LinkExe0", u"C:\\Program Files\\Game\\game.exe"),
        Str(u"GROUP", u"LinkExe1", u""),
        Str(u"GROUP", u"Quoted", u"\"in quotes\""),
        Str(u"GROUP", u"Equals", u"a=b=c"),
        Str(u"GROUP", u"Wide", u"\u0416\u00E9\u4E2D"),
        Int(u"Setting", u"Language", 101), // back into an earlier section
        Int(u"MyXlistIconInfo12", u"ProfileColor", -2147483647 - 1),
    };
    unsigned seed = 1;
    for (std::size_t size : {24u, 544u, 13920u, 1392u}) {
        ops.push_back(
            Struct(u"GROUP", FormatW(u"S%u", static_cast<unsigned>(size)), Pattern(size, seed++)));
    }
    Op rewrite = ops.back();
    rewrite.bytes = Pattern(1392, 99);
    ops.push_back(rewrite);
    return ops;
}

void ApplyWithPlatform(const std::wstring& path, const std::vector<Op>& ops) {
    for (const Op& op : ops) {
        std::wstring section = W(op.section), key = W(op.key);
        switch (op.kind) {
        case Op::String:
            WritePrivateProfileStringW(section.c_str(), key.c_str(), W(op.text).c_str(),
                                       path.c_str());
            break;
        case Op::Int:
            WritePrivateProfileStringW(section.c_str(), key.c_str(),
                                       std::to_wstring(op.number).c_str(), path.c_str());
            break;
        case Op::Struct:
            WritePrivateProfileStructW(section.c_str(), key.c_str(),
                                       const_cast<unsigned char*>(op.bytes.data()),
                                       static_cast<UINT>(op.bytes.size()), path.c_str());
            break;
        }
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    }
}

template <typename Writer> void ApplyWithEngine(Writer& writer, const std::vector<Op>& ops) {
    for (const Op& op : ops) {
        switch (op.kind) {
        case Op::String:
            writer.WriteString(op.section, op.key, op.text);
            break;
        case Op::Int:
            writer.WriteInt(op.section, op.key, op.number);
            break;
        case Op::Struct:
            writer.WriteStruct(op.section, op.key, op.bytes.data(), op.bytes.size());
            break;
        }
    }
}

TEST_F(IniAgainstPlatform, SameWritesGiveTheSameFileAndEachSideReadsTheOther) {
    const std::vector<Op> ops = WriteSequence();
    std::wstring theirs = dir + L"theirs.ini", ours = dir + L"ours.ini", batch = dir + L"batch.ini";
    WriteBytes(theirs, "\xFF\xFE"); // as our EnsureExists leaves it
    ApplyWithPlatform(theirs, ops);
    CIniFile(U16(ours)).EnsureExists();
    EXPECT_EQ(ReadBytes(ours), "\xFF\xFE");
    CIniFile oursFile(U16(ours));
    ApplyWithEngine(oursFile, ops);
    CIniSession session{CIniFile(U16(batch))};
    ApplyWithEngine(session, ops);
    ASSERT_TRUE(session.Commit());

    EXPECT_EQ(ReadBytes(ours), ReadBytes(theirs));
    EXPECT_EQ(ReadBytes(batch), ReadBytes(theirs));

    // Read back the last value of every key, crosswise.
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const Op& op = ops[i];
        bool overwritten = false;
        for (std::size_t j = i + 1; j < ops.size(); ++j)
            overwritten |=
                EqualsNoCase(ops[j].section, op.section) && EqualsNoCase(ops[j].key, op.key);
        if (overwritten)
            continue;
        SCOPED_TRACE(ToUtf8(op.key));
        CIniFile theirsFile(U16(theirs));
        switch (op.kind) {
        case Op::String: {
            std::u16string expected(op.text.size() >= 2 && op.text[0] == u'"'
                                        ? op.text.substr(1, op.text.size() - 2)
                                        : op.text);
            EXPECT_EQ(PlatformString(ours, op.section, op.key), expected);
            EXPECT_EQ(theirsFile.ReadString(op.section, op.key, u"<default>"), expected);
            break;
        }
        case Op::Int:
            EXPECT_EQ(PlatformInt(ours, op.section, op.key, 77), op.number);
            EXPECT_EQ(theirsFile.ReadInt(op.section, op.key, 77), op.number);
            break;
        case Op::Struct: {
            std::vector<unsigned char> a(op.bytes.size()), b(op.bytes.size());
            EXPECT_TRUE(GetPrivateProfileStructW(W(op.section).c_str(), W(op.key).c_str(), a.data(),
                                                 static_cast<UINT>(a.size()), ours.c_str()));
            EXPECT_TRUE(theirsFile.ReadStruct(op.section, op.key, b.data(), b.size()));
            EXPECT_EQ(a, op.bytes);
            EXPECT_EQ(b, op.bytes);
            break;
        }
        }
    }
}

// A file written by hand, edited by both writers: the bytes may differ (the
// platform here rewrites the whole file, we keep it as it was), but every
// reader must see the same values in both.
TEST_F(IniAgainstPlatform, HandWrittenFilesReadAlikeAfterEdits) {
    const std::u16string messy = u"; comment at the top\r\n"
                                 u"  orphan = before any section\r\n"
                                 u"[Setting]\r\n"
                                 u"  Profile  =  2  \r\n"
                                 u"Language=\t103\r\n"
                                 u"\r\n"
                                 u";Plug=1\r\n"
                                 u"novalue\r\n"
                                 u"[ ProfileData ]\r\n"
                                 u"Mode_1=4\n"
                                 u"Mode_2=\"5\"\n"
                                 u"Mode_3='6'\r"
                                 u"Mode_4=0x10\r\n"
                                 u"[profiledata]\r\n"
                                 u"Mode_5=9\r\n"
                                 u"[GROUP] trailing words\r\n"
                                 u"LinkExe0=  C:\\a b\\c.exe  \r\n"
                                 u"LinkExe1=\"\"\r\n"
                                 u"[Last]\r\n"
                                 u"k=v";
    std::wstring a = dir + L"a.ini", b = dir + L"b.ini";
    WriteBytes(a, Utf16File(messy));
    WriteBytes(b, Utf16File(messy));
    const std::vector<Op> ops = {
        Int(u"Setting", u"PollingRate", 2),
        Int(u"setting", u"PROFILE", 4),
        Int(u"ProfileData", u"Mode_6", 5),
        Str(u"GROUP", u"LinkExe2", u"C:\\x.exe"),
        Str(u"New", u"k", u"v"),
        Str(u"Last", u"j", u"w"),
    };
    ApplyWithPlatform(a, ops);
    CIniFile bFile(U16(b));
    ApplyWithEngine(bFile, ops);

    const std::pair<const char16_t*, const char16_t*> queries[] = {
        {u"", u"orphan"},
        {u"Setting", u"Profile"},
        {u"Setting", u"Language"},
        {u"Setting", u"PollingRate"},
        {u"Setting", u";Plug"},
        {u"Setting", u"novalue"},
        {u"ProfileData", u"Mode_1"},
        {u"ProfileData", u"Mode_2"},
        {u"ProfileData", u"Mode_3"},
        {u"ProfileData", u"Mode_4"},
        {u"ProfileData", u"Mode_5"},
        {u"ProfileData", u"Mode_6"},
        {u"GROUP", u"LinkExe0"},
        {u"GROUP", u"LinkExe1"},
        {u"GROUP", u"LinkExe2"},
        {u"New", u"k"},
        {u"Last", u"k"},
        {u"Last", u"j"},
        {u"Missing", u"k"},
    };
    CIniFile aFile(U16(a));
    for (const auto& [section, key] : queries) {
        SCOPED_TRACE(ToUtf8(section) + "/" + ToUtf8(key));
        std::u16string expected = PlatformString(a, section, key);
        EXPECT_EQ(PlatformString(b, section, key), expected);
        EXPECT_EQ(aFile.ReadString(section, key, u"<default>"), expected);
        EXPECT_EQ(bFile.ReadString(section, key, u"<default>"), expected);
        int number = PlatformInt(a, section, key, 77);
        EXPECT_EQ(PlatformInt(b, section, key, 77), number);
        EXPECT_EQ(bFile.ReadInt(section, key, 77), number);
    }
    // Our writer changed only the lines it had to.
    std::string bytes = ReadBytes(b);
    std::u16string text(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                        (bytes.size() - 2) / 2);
    EXPECT_EQ(
        text.find(u"; comment at the top\r\n  orphan = before any section\r\n[Setting]\r\n"
                  u"Profile=4\r\nLanguage=\t103\r\n\r\n;Plug=1\r\nnovalue\r\n"
                  u"PollingRate=2\r\n[ ProfileData ]\r\nMode_1=4\nMode_2=\"5\"\nMode_3='6'\r"),
        0u);
}

TEST_F(IniAgainstPlatform, ReadersAgreeOnOddValues) {
    const std::u16string values[] = {
        u"12",
        u" 12 ",
        u"+5",
        u"-7",
        u"0x10",
        u"-0x10",
        u"0X1f",
        u"0b101",
        u"0o17",
        u"010",
        u"12abc",
        u"abc",
        u"",
        u"\"\"",
        u"\" 5\"",
        u"'7'",
        u"- 3",
        u"1 2",
        u"4294967295",
        u"2147483648",
        u"-2147483649",
        u"99999999999",
        u"123456789012345678901234567890",
        u"\t9\x1A",
        u"x\u00A0",
        u"\"a\" b \"",
        u"\"unbalanced",
    };
    std::u16string text = u"[V]\r\n";
    for (std::size_t i = 0; i < std::size(values); ++i)
        text += FormatW(u"k%d=", static_cast<int>(i)) + values[i] + u"\r\n";
    text += u"nokey\r\n";
    std::wstring path = dir + L"values.ini";
    WriteBytes(path, Utf16File(text));
    CIniFile ours(U16(path));
    for (std::size_t i = 0; i <= std::size(values); ++i) {
        std::u16string key =
            i < std::size(values) ? FormatW(u"k%d", static_cast<int>(i)) : u"nokey";
        SCOPED_TRACE(ToUtf8(key));
        EXPECT_EQ(ours.ReadInt(u"V", key, 77), PlatformInt(path, u"V", key, 77));
        EXPECT_EQ(ours.ReadString(u"V", key, u"<default>"), PlatformString(path, u"V", key));
    }
}

TEST_F(IniAgainstPlatform, StructureReadersAgreeOnWhatTheyAccept) {
    // Bytes 01 02 03 04, sum 0x0A.
    const std::u16string values[] = {
        u"010203040A", u"010203040a", u"  010203040A  ", u"0102030409",
        u"01020304",   u"0102030G0A", u"\"010203040A\"", u"",
    };
    // Left out: values longer than 2 * size + 2 digits, of which the platform
    // here reads only the first 2 * size + 2. A record of this size never
    // wrote such a value, so ours refuses it and keeps the record as it was.
    std::u16string text = u"[S]\r\n";
    for (std::size_t i = 0; i < std::size(values); ++i)
        text += FormatW(u"k%d=", static_cast<int>(i)) + values[i] + u"\r\n";
    std::wstring path = dir + L"structs.ini";
    WriteBytes(path, Utf16File(text));
    CIniFile ours(U16(path));
    for (std::size_t i = 0; i <= std::size(values); ++i) {
        std::u16string key = FormatW(u"k%d", static_cast<int>(i)); // the last one is missing
        SCOPED_TRACE(ToUtf8(key));
        unsigned char a[4] = {}, b[4] = {};
        BOOL platform = GetPrivateProfileStructW(L"S", W(key).c_str(), a, 4, path.c_str());
        EXPECT_EQ(ours.ReadStruct(u"S", key, b, 4), platform != FALSE);
        if (platform) {
            EXPECT_EQ(std::memcmp(a, b, 4), 0);
        }
    }
}

TEST_F(IniAgainstPlatform, EightBitFilesReadAlike) {
    std::wstring path = dir + L"ansi.ini";
    WriteBytes(path, "[A]\r\nx=caf\xE9 \x80\x81\x9F\r\ny = plain \r\n");
    CIniFile ours(U16(path));
    for (const char16_t* key : {u"x", u"y"})
        EXPECT_EQ(ours.ReadString(u"A", key, u""), PlatformString(path, u"A", key));
    // After our write the platform still reads the old values the same way.
    std::u16string before = PlatformString(path, u"A", u"x");
    ours.WriteString(u"A", u"z", u"\u0416");
    EXPECT_EQ(PlatformString(path, u"A", u"x"), before);
    EXPECT_EQ(PlatformString(path, u"A", u"z"), u"\u0416");
}

TEST_F(IniAgainstPlatform, ProfileFilesTravelBothWays) {
    CopyToField(g_szDataDir, U16(dir));
    auto ours = std::make_unique<PROFILE_DATA>();
    std::memset(ours.get(), 0, sizeof *ours);
    std::vector<unsigned char> bytes = Pattern(sizeof ours->Buttons, 5);
    std::memcpy(ours->Buttons, bytes.data(), bytes.size());
    bytes = Pattern(sizeof ours->Light + sizeof ours->Colors, 6);
    std::memcpy(&ours->Light, bytes.data(), sizeof ours->Light);
    std::memcpy(ours->Colors, bytes.data() + sizeof ours->Light, sizeof ours->Colors);
    CopyToField(ours->LinkExe[2], u"C:\\Games\\race.exe");
    SaveProfileFile(u"Travel", *ours, U16(dir));

    // The platform reads what we wrote.
    std::wstring path = dir + L"Travel.ini";
    EXPECT_EQ(PlatformString(path, u"GROUP", u"CurrentProfileName"), u"Travel");
    EXPECT_EQ(PlatformString(path, u"GROUP", u"LinkExe2"), u"C:\\Games\\race.exe");
    auto theirs = std::make_unique<PROFILE_DATA>();
    std::memset(theirs.get(), 0, sizeof *theirs);
    EXPECT_TRUE(
        GetPrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &theirs->Light, 24, path.c_str()));
    for (int i = 0; i < kColorSetCount; ++i)
        EXPECT_TRUE(GetPrivateProfileStructW(L"GROUP", W(FormatW(u"LIGHT_DATA_%d", i)).c_str(),
                                             &theirs->Colors[i], 544, path.c_str()));
    for (int part = 0; part < 12; ++part)
        EXPECT_TRUE(GetPrivateProfileStructW(
            L"GROUP", W(FormatW(u"BUTTON_INFO_PART%d", part + 1)).c_str(),
            &theirs->Buttons[part * 10], part == 11 ? 1392 : 13920, path.c_str()));
    EXPECT_EQ(std::memcmp(theirs->Buttons, ours->Buttons, sizeof ours->Buttons), 0);
    EXPECT_EQ(std::memcmp(&theirs->Light, &ours->Light, sizeof ours->Light), 0);
    EXPECT_EQ(std::memcmp(theirs->Colors, ours->Colors, sizeof ours->Colors), 0);

    // And we read what the platform wrote.
    std::wstring other = dir + L"Other.ini";
    WriteBytes(other, "\xFF\xFE");
    WritePrivateProfileStringW(L"GROUP", L"LinkExe0", L"C:\\b.exe", other.c_str());
    WritePrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &ours->Light, 24, other.c_str());
    for (int i = 0; i < kColorSetCount; ++i)
        WritePrivateProfileStructW(L"GROUP", W(FormatW(u"LIGHT_DATA_%d", i)).c_str(),
                                   &ours->Colors[i], 544, other.c_str());
    for (int part = 0; part < 12; ++part)
        WritePrivateProfileStructW(L"GROUP", W(FormatW(u"BUTTON_INFO_PART%d", part + 1)).c_str(),
                                   &ours->Buttons[part * 10], part == 11 ? 1392 : 13920,
                                   other.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, other.c_str());
    std::memset(theirs.get(), 0, sizeof *theirs);
    LoadProfileFile(u"Other", *theirs, U16(dir));
    EXPECT_EQ(FieldText(theirs->LinkExe[0]), u"C:\\b.exe");
    EXPECT_EQ(std::memcmp(theirs->Buttons, ours->Buttons, sizeof ours->Buttons), 0);
    EXPECT_EQ(std::memcmp(&theirs->Light, &ours->Light, sizeof ours->Light), 0);
    EXPECT_EQ(std::memcmp(theirs->Colors, ours->Colors, sizeof ours->Colors), 0);
    EXPECT_EQ(PlatformString(other, u"GROUP", u"CurrentProfileName"), u"Other");
}

// Another program holding the file open without delete sharing refuses the
// replacement; the write must still land.
TEST_F(IniAgainstPlatform, AWriteLandsWhileAnotherProgramHoldsTheFile) {
    std::wstring path = dir + L"held.ini";
    WriteBytes(path, Utf16File(u"[A]\r\nx=1\r\n"));
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(CIniFile(U16(path)).WriteString(u"A", u"y", u"2"), 0);
    CloseHandle(held);
    EXPECT_EQ(PlatformString(path, u"A", u"x"), u"1");
    EXPECT_EQ(PlatformString(path, u"A", u"y"), u"2");
    EXPECT_EQ(GetFileAttributesW((path + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(IniAgainstPlatform, RegistryValuesOnlyUnderAnExistingKey) {
    CopyToField(g_szDataDir, U16(dir));
    HKEY key;
    bool existed =
        RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (existed)
        RegCloseKey(key);
    ASSERT_FALSE(existed) << "a fresh prefix has no key";

    SavePlugState(0);
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(PlatformInt(dir + L"config.ini", u"Setting", u"Plug", 7), 0);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    WriteRegistryFirmwareVersion(u"15");
    SavePlugState(1);
    DWORD type = 0, size = 0;
    wchar_t text[16] = {};
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExW(key, L"FWVersion", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u); // two characters and the terminator
    EXPECT_STREQ(text, L"15");
    DWORD plug = 0;
    size = sizeof plug;
    EXPECT_EQ(
        RegQueryValueExW(key, L"DevicePlug", nullptr, &type, reinterpret_cast<BYTE*>(&plug), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(plug, 1u);
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvane");
}

} // namespace
} // namespace orv
