// The service's files when the disk lets it down (full, read-only, the data
// folder gone) and when the configuration program writes the same files
// between the service's own reads and writes.
#include "pass_through_files.h"
#include "service_test_support.h"
#include "storage/ini_text.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::kDataDir;
using testing_service::ServiceTest;

const std::u16string kConfigIni = kDataDir + u"config.ini";

class StorageFaultTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Forget();
    }

    // Every file below the data folder, by host path, with its bytes.
    std::map<std::string, std::string> Snapshot() {
        std::map<std::string, std::string> files;
        std::string root = host.files->HostPath(kDataDir);
        if (!std::filesystem::exists(root))
            return files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    // The value of a key as the INI engine reads it from the file on disk.
    std::optional<std::u16string> Stored(const std::u16string& path, std::u16string_view section,
                                         std::u16string_view key) {
        std::string bytes;
        if (host.files->ReadAll(path, bytes) != ReadResult::Ok)
            return std::nullopt;
        const ini::Document doc = ini::Document::Parse(bytes);
        auto value = doc.Find(section, key);
        return value ? std::optional<std::u16string>(std::u16string(*value)) : std::nullopt;
    }

    std::uint8_t StoredEffect(int slot) {
        auto profile = std::make_unique<PROFILE_DATA>();
        LoadProfileFile(FormatW(u"Profile %d", slot), *profile);
        return profile->Light.Effect;
    }

    void ExpectSoundInMemory() {
        const SETTING_INFO& s = Settings();
        EXPECT_LE(s.Profile, 5);
        EXPECT_GE(s.Language, 101);
        EXPECT_LE(s.Language, 107);
        const LIGHT_INFO& light = s.Current.Light;
        EXPECT_LE(light.Effect, 20);
        EXPECT_LE(light.EffectOption, 2);
        EXPECT_GE(light.EffectLevel, 1);
        EXPECT_LE(light.EffectLevel, 5);
        EXPECT_LE(light.Color, 0xFFFFFFu);
        for (int slot = 0; slot < kSlotCount; ++slot)
            EXPECT_EQ(FieldText(s.ProfileList[slot].ProfileName), FormatW(u"Profile %d", slot));
    }

    // Everything the service writes files for, once.
    void EveryWritingRequest(int slot, int effect) {
        Sync(0, slot);             // config.ini, the slot's profile file
        KeyEvent(effect, 0xDF, 1); // the profile file
        sim.Unplug();              // FWVersion and Plug
        host.RunUntilIdle();
        sim.Plug();
        host.RunUntilIdle();
        Post(WM_HID_SHOW_PROGRESS, 0, 0);
        Post(WM_HID_UPLOAD, 1, 1); // a reload, then the keyboard
        Post(WM_HID_UPLOAD_SLOT, slot, 0);
        Post(WM_HID_RELOAD, 0, 0);
    }

    ConfigStandIn config{host.windows};
    host::StandInWindow loading{host.windows, u"DLGLoading"};
};

// A full disk or a read-only folder: every write fails. Nothing on disk
// changes (no half file, no stray temporary), the service goes on with sound
// settings, and once the disk takes writes again they all land.
TEST_F(StorageFaultTest, FailedWritesLoseNothingAndRecover) {
    Sync(0, 2);
    KeyEvent(3, 0xDF, 1);
    const auto before = Snapshot();

    host.files->failWrites = true;
    EveryWritingRequest(4, 8);
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 2u);
    host.files->failWrites = false;

    EXPECT_EQ(Snapshot(), before);
    // What memory holds came from the files as they are.
    EXPECT_EQ(Settings().Profile, 2);
    EXPECT_EQ(Settings().Current.Light.Effect, 3);
    ExpectSoundInMemory();

    EveryWritingRequest(5, 9);
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"Profile"), u"5");
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"Plug"), u"1");
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"FWVersion"), u"10");
    EXPECT_EQ(StoredEffect(5), 9);
    EXPECT_EQ(StoredEffect(2), 3);
}

// The data folder removed while the service runs: requests go on against
// defaults, nothing is written anywhere else, and when the folder is back the
// service's writes land there again.
TEST_F(StorageFaultTest, VanishedDataFolderFallsBackToDefaultsUntilItIsBack) {
    Sync(0, 2);
    const std::string root = host.files->HostPath(kDataDir);
    std::filesystem::remove_all(root);
    const auto appDataBefore = std::distance(
        std::filesystem::directory_iterator(host.files->HostPath(host.shell.appData)), {});

    EveryWritingRequest(3, 8);
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 2u);
    EXPECT_EQ(Settings().Profile, 0); // the defaults of a reload without files
    ExpectSoundInMemory();
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(host.files->HostPath(host.shell.appData)),
                      {}),
        appDataBefore);

    // The configuration program puts the folders back.
    ASSERT_TRUE(host.files->MakeDirectory(kDataDir));
    ASSERT_TRUE(host.files->MakeDirectory(kDataDir + u"Profiles"));
    EveryWritingRequest(4, 9);
    EXPECT_EQ(Settings().Profile, 4);
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"Profile"), u"4");
    EXPECT_EQ(Stored(kConfigIni, u"MyXlistIconInfo4", u"ProfileName"), u"Profile 4");
    EXPECT_EQ(StoredEffect(4), 9);
}

// The file system as the service sees it while the configuration program is
// busy too: before each of the service's reads of a file, the configuration
// program has written a key of its own into it.
class ConfigProgramBetweenReads final : public testing::PassThroughFiles {
public:
    ConfigProgramBetweenReads(IFileSystem& inner, std::function<void(std::u16string_view)> edit)
        : PassThroughFiles(inner), m_edit(std::move(edit)) {}

    ReadResult ReadAll(std::u16string_view p, std::string& bytes) override {
        m_edit(p);
        return m_inner.ReadAll(p, bytes);
    }

private:
    std::function<void(std::u16string_view)> m_edit;
};

TEST_F(StorageFaultTest, KeysTheConfigurationProgramWritesBetweenOurWritesAreKept) {
    struct Written {
        std::u16string path, section, key, value;
    };
    std::vector<Written> written;
    int edits = 0;
    auto edit = [&](std::u16string_view path) {
        const bool config = path == kConfigIni;
        if (!config && path.find(u"\\Profiles\\") == std::u16string_view::npos)
            return;
        std::string bytes;
        if (host.files->ReadAll(path, bytes) != ReadResult::Ok)
            return;
        ++edits;
        ini::Document doc = ini::Document::Parse(bytes);
        // One key in a section the service writes too, one in its own.
        const std::u16string n = FormatW(u"%d", edits);
        Written mine[] = {{std::u16string(path), config ? u"Setting" : u"GROUP", u"Theirs" + n, n},
                          {std::u16string(path), u"Window" + n, u"x", u"1" + n}};
        for (const Written& w : mine) {
            doc.Set(w.section, w.key, w.value);
            written.push_back(w);
        }
        ASSERT_TRUE(host.files->ReplaceContent(path, doc.Serialize()));
    };
    ConfigProgramBetweenReads files(*host.files, edit);
    Platform installed = CurrentPlatform();
    installed.files = &files;
    InstallPlatform(installed);

    EveryWritingRequest(3, 7);
    EveryWritingRequest(1, 2);
    Post(WM_HID_SET_SLOT, 5, 0);
    KeyEvent(4, 0xDC, 1); // the level, into the profile of slot 5

    installed.files = host.files.get();
    InstallPlatform(installed);
    ASSERT_GT(edits, 50);
    for (const Written& w : written)
        EXPECT_EQ(Stored(w.path, w.section, w.key), w.value)
            << ToUtf8(w.path) << " [" << ToUtf8(w.section) << "] " << ToUtf8(w.key);
    // The service's own writes are there as well.
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"Profile"), u"1");
    EXPECT_EQ(Stored(kConfigIni, u"Setting", u"Plug"), u"1");
    EXPECT_EQ(StoredEffect(3), 7);
    EXPECT_EQ(StoredEffect(1), 2);
    auto profile = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(u"Profile 5", *profile);
    EXPECT_EQ(profile->Light.EffectLevel, 5);
    EXPECT_EQ(profile->Light.Effect, 2); // slot 1's profile, saved under slot 5
}

} // namespace
} // namespace orv
