// The service on a system whose ANSI code page is not the Western one, with
// files that the configuration program's INI functions created in it.
#include "service_test_support.h"
#include "storage/ini_text.h"

#include <filesystem>
#include <set>

namespace orv {
namespace {

using testing_service::kDataDir;
using testing_service::ServiceTest;

// "Игры" and "C:\Игры\game.exe" in code page 1251.
constexpr std::string_view kName = "\xC8\xE3\xF0\xFB";
const std::u16string kWideName = u"\u0418\u0433\u0440\u044B";

class CodePageServiceTest : public ServiceTest {
protected:
    CodePageServiceTest() {
        host.codepages.SetAnsiCodePage(1251);
        host.files->MakeDirectory(kDataDir);
        host.files->MakeDirectory(kDataDir + u"Profiles");
        std::string config = "[Setting]\r\nProfile=1\r\n[MyXlistNumber]\r\nTotalListNumber=6\r\n"
                             "[ProfileData]\r\n";
        for (int slot = 0; slot < 6; ++slot)
            config += "Mode_" + std::to_string(slot + 1) + "=" + std::to_string(slot) + "\r\n";
        for (int n = 0; n < 6; ++n) {
            config += "[MyXlistIconInfo" + std::to_string(n) + "]\r\nProfileName=";
            config += n == 1 ? std::string(kName) : "Profile " + std::to_string(n);
            config += "\r\n";
        }
        Put(u"config.ini", config);
        LIGHT_INFO light{};
        light.Effect = 9;
        light.EffectLevel = 3;
        profile = "[GROUP]\r\nCurrentProfileName=" + std::string(kName) + "\r\nLinkExe0=C:\\" +
                  std::string(kName) +
                  "\\game.exe\r\nLIGHT_INFO=" + ToUtf8(ini::EncodeStruct(&light, sizeof light)) +
                  "\r\n";
        Put(u"Profiles\\" + kWideName + u".ini", profile);
    }

    void Put(const std::u16string& name, std::string_view bytes) {
        ASSERT_TRUE(host.files->ReplaceContent(kDataDir + name, bytes));
    }
    std::string Bytes(const std::u16string& name) {
        std::string bytes;
        return host.files->ReadAll(kDataDir + name, bytes) == ReadResult::Ok ? bytes : "<missing>";
    }
    std::set<std::string> ProfileFiles() {
        std::set<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(host.files->HostPath(kDataDir + u"Profiles")))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::string profile;
};

TEST_F(CodePageServiceTest, UsesTheProfileFileTheConfigurationProgramNamed) {
    Start();
    EXPECT_EQ(FieldText(Settings().ProfileList[1].ProfileName), kWideName);
    EXPECT_EQ(Settings().Current.Light.Effect, 9);
    EXPECT_EQ(FieldText(wnd->LinkTable()[1][0]), u"C:\\" + kWideName + u"\\game.exe");
    EXPECT_EQ(ProfileFiles(), std::set<std::string>{ToUtf8(kWideName) + ".ini"});
    EXPECT_EQ(Bytes(u"Profiles\\" + kWideName + u".ini"), profile);

    // A lighting change of the keyboard goes into that file, which stays in
    // the system's code page; so does config.ini after the plug-in's writes.
    Post(WM_HID_KEY_EVENT, 7, 0x000100DF);
    const std::string saved = Bytes(u"Profiles\\" + kWideName + u".ini");
    EXPECT_EQ(saved.substr(0, 40), profile.substr(0, 40));
    EXPECT_EQ(ini::Document::Parse(saved).encoding(), ini::Encoding::Ansi);
    auto reread = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(kWideName, *reread);
    EXPECT_EQ(reread->Light.Effect, 7);
    EXPECT_EQ(ProfileFiles().size(), 1u);

    const std::string config = Bytes(u"config.ini");
    EXPECT_NE(config.find("Plug=1\r\n"), std::string::npos);
    EXPECT_NE(config.find("ProfileName=" + std::string(kName) + "\r\n"), std::string::npos);
    EXPECT_EQ(ini::Document::Parse(config).encoding(), ini::Encoding::Ansi);
}

} // namespace
} // namespace orv
