// 8-bit INI files in the system's ANSI code page: files that the platform's
// INI functions create read the same with the engine, and stay theirs after
// the engine's writes. The names fit the system the tests run on; CTest runs
// them again with Wine in Russian, Japanese and Chinese locales
// (scripts/wine-locale), which sets ORV_EXPECT_ACP.
#include "base/wstr.h"
#include "e2e_support.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "storage/ini_file.h"
#include "storage/profile_data.h"
#include "storage/profile_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orv {
namespace {

using e2e::FilesIn;
using win32::U16;
using win32::W;

struct SystemNames {
    UINT acp;
    std::u16string name, other;
};

// Two names of the system's language; the Japanese ones hold double-byte
// characters whose second byte is '[' or '\'.
const SystemNames& NamesOfThisSystem() {
    static const SystemNames names[] = {
        {1251, u"\u0418\u0433\u0440\u044B", u"\u0413\u043E\u043D\u043A\u0438"},
        {932, u"\u30B2\u30FC\u30E0", u"\u8868\u30BD"},
        {936, u"\u6E38\u620F", u"\u8D5B\u8F66"},
        {949, u"\uAC8C\uC784", u"\uACBD\uC8FC"},
        {950, u"\u904A\u6232", u"\u8CFD\u8ECA"},
        {0, u"Caf\u00E9", u"\u00DCber"},
    };
    for (const SystemNames& n : names)
        if (n.acp == GetACP())
            return n;
    return names[std::size(names) - 1];
}

std::string Ansi(std::u16string_view text) {
    std::string bytes(text.size() * 4, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text.data()),
                                static_cast<int>(text.size()), bytes.data(),
                                static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

std::u16string PlatformString(const std::wstring& path, std::u16string_view section,
                              std::u16string_view key) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    std::vector<wchar_t> buf(kReadStringChars);
    DWORD n = GetPrivateProfileStringW(W(section).c_str(), W(key).c_str(), L"<default>", buf.data(),
                                       static_cast<DWORD>(buf.size()), path.c_str());
    return U16(std::wstring_view(buf.data(), n));
}

void PlatformWrite(const std::wstring& path, std::u16string_view section, std::u16string_view key,
                   std::u16string_view value) {
    ASSERT_TRUE(WritePrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(value).c_str(),
                                           path.c_str()));
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

bool HasUtf16Mark(const std::wstring& path) {
    return e2e::ReadFileBytes(path).substr(0, 2) == "\xFF\xFE";
}

class AnsiCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        // A locale that did not take would test the Western code page again.
        if (const char* expected = std::getenv("ORV_EXPECT_ACP")) {
            ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
        }
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"orv-ansi-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::wstring& name : FilesIn(dir))
            DeleteFileW((dir + name).c_str());
        RemoveDirectoryW(dir.c_str());
    }

    static inline int counter = 0;
    std::wstring dir;
    const SystemNames& names = NamesOfThisSystem();
};

TEST_F(AnsiCodePage, FilesOfTheIniFunctionsReadAlikeAndStayTheirs) {
    const std::u16string& name = names.name;
    const std::u16string& other = names.other;
    const std::wstring path = dir + L"config.ini";
    PlatformWrite(path, u"Setting", u"Profile", u"1");
    PlatformWrite(path, u"MyXlistIconInfo1", u"ProfileName", name);
    PlatformWrite(path, u"MyXlistIconInfo1", u"ProfileIconName", other);
    PlatformWrite(path, name, other, name);
    ASSERT_FALSE(HasUtf16Mark(path));
    ASSERT_NE(e2e::ReadFileBytes(path).find("ProfileName=" + Ansi(name) + "\r\n"),
              std::string::npos);

    struct Key {
        std::u16string section, key, value;
    };
    std::vector<Key> keys = {
        {u"Setting", u"Profile", u"1"},
        {u"MyXlistIconInfo1", u"ProfileName", name},
        {u"MyXlistIconInfo1", u"ProfileIconName", other},
        {name, other, name},
    };
    CIniFile ours(U16(path));
    auto readAlike = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const Key& k : keys) {
            SCOPED_TRACE(ToUtf8(k.section + u"/" + k.key));
            EXPECT_EQ(ours.ReadString(k.section, k.key, u"<default>"), k.value);
            EXPECT_EQ(PlatformString(path, k.section, k.key), k.value);
        }
    };
    readAlike("as the platform wrote it");

    // Writes that fit keep the file in the system's code page.
    ours.WriteString(u"MyXlistIconInfo1", u"ProfileColor", u"3");
    ours.WriteString(name, u"Second", other);
    ours.WriteString(u"GROUP", u"CurrentProfileName", name);
    keys.push_back({u"MyXlistIconInfo1", u"ProfileColor", u"3"});
    keys.push_back({name, u"Second", other});
    keys.push_back({u"GROUP", u"CurrentProfileName", name});
    EXPECT_FALSE(HasUtf16Mark(path));
    readAlike("after writes that fit");

    // A character the code page lacks makes the file UTF-16LE, with no value
    // changed for the platform's readers.
    ours.WriteString(u"GROUP", u"Smile", u"\U0001F600");
    keys.push_back({u"GROUP", u"Smile", u"\U0001F600"});
    EXPECT_TRUE(HasUtf16Mark(path));
    readAlike("after a write that does not fit");
    PlatformWrite(path, u"GROUP", u"Later", other);
    keys.push_back({u"GROUP", u"Later", other});
    readAlike("after the platform wrote again");
}

TEST_F(AnsiCodePage, ProfileFilesOfTheIniFunctionsUnderTheirNames) {
    const std::u16string& name = names.name;
    const std::wstring path = dir + W(name) + L".ini";
    const std::u16string link = u"C:\\" + names.other + u"\\game.exe";
    LIGHT_INFO light{};
    light.Effect = 9;
    light.EffectLevel = 3;
    PlatformWrite(path, u"GROUP", u"LinkExe0", link);
    ASSERT_TRUE(
        WritePrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &light, sizeof light, path.c_str()));
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    ASSERT_FALSE(HasUtf16Mark(path));

    auto loaded = std::make_unique<PROFILE_DATA>();
    std::memset(loaded.get(), 0, sizeof *loaded);
    LoadProfileFile(name, *loaded, U16(dir));
    EXPECT_EQ(FieldText(loaded->LinkExe[0]), link);
    EXPECT_EQ(loaded->Light.Effect, 9);
    EXPECT_EQ(FilesIn(dir), std::vector<std::wstring>{W(name) + L".ini"});
    EXPECT_FALSE(HasUtf16Mark(path));
    EXPECT_EQ(PlatformString(path, u"GROUP", u"CurrentProfileName"), name);

    loaded->Light.Effect = 7;
    SaveProfileFile(name, *loaded, U16(dir));
    EXPECT_FALSE(HasUtf16Mark(path));
    EXPECT_EQ(PlatformString(path, u"GROUP", u"LinkExe0"), link);
    LIGHT_INFO theirs{};
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    EXPECT_TRUE(
        GetPrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &theirs, sizeof theirs, path.c_str()));
    EXPECT_EQ(theirs.Effect, 7);
    EXPECT_EQ(FilesIn(dir).size(), 1u);
}

// Bytes the code page leaves undefined and broken double-byte pairs have no
// character to be written back as; the lines holding them keep their bytes.
TEST_F(AnsiCodePage, BytesWithoutCharactersSurviveTheEnginesWrites) {
    struct Odd {
        UINT acp;
        std::string bytes;
        bool readAlike; // the platform reads a lead byte before CR LF as a pair
    } const odds[] = {
        {1252, "\x81\x8D\x8F\x90\x9D", true},
        {1251, "\x98", true},
        {932, "\x82\x20\x81\x7F\xA0\xFD", true},
        {932, "\x82", false},
        {936, "\x81\x20\xFF", true},
        {936, "\x81", false},
    };
    const std::wstring path = dir + L"odd.ini";
    CIniFile ours(U16(path));
    int tried = 0;
    for (const Odd& odd : odds) {
        if (odd.acp != GetACP())
            continue;
        ++tried;
        const std::string file = "[A]\r\nodd=" + odd.bytes + "\r\nx=1\r\n";
        WriteBytes(path, file);
        if (odd.readAlike) {
            EXPECT_EQ(ours.ReadString(u"A", u"odd", u""), PlatformString(path, u"A", u"odd"));
        }
        EXPECT_NE(ours.WriteString(u"A", u"x", u"2"), 0);
        EXPECT_NE(ours.WriteString(u"A", u"y", names.name), 0);
        EXPECT_EQ(e2e::ReadFileBytes(path),
                  "[A]\r\nodd=" + odd.bytes + "\r\nx=2\r\ny=" + Ansi(names.name) + "\r\n");
        EXPECT_EQ(PlatformString(path, u"A", u"x"), u"2");
        EXPECT_EQ(PlatformString(path, u"A", u"y"), names.name);
    }
    if (tried == 0)
        GTEST_SKIP() << "no odd bytes listed for code page " << GetACP();
}

} // namespace
} // namespace orv
