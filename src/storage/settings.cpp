#include "storage/settings.h"

#include "base/wstr.h"
#include "platform/platform.h"
#include "storage/ini_file.h"
#include "storage/paths.h"
#include "storage/profile_list.h"

namespace orv {

namespace {

constexpr char16_t kSetting[] = u"Setting";

} // namespace

std::u16string SettingsFilePath() {
    return std::u16string(FieldText(g_szDataDir)) + u"config.ini";
}

bool SettingsFileExists() {
    return Files().Exists(SettingsFilePath());
}

void LoadSettings(SETTING_INFO& settings) {
    CIniSession ini{CIniFile(SettingsFilePath())};
    auto byte = [&](const char16_t* key) {
        return static_cast<std::uint8_t>(ini.ReadInt(kSetting, key, 0) & 0xFF);
    };
    settings.Plug = byte(u"Plug");
    settings.Profile = byte(u"Profile");
    settings.KeyMode = byte(u"KeyMode");
    settings.PollingRate = byte(u"PollingRate");
    settings.Language = byte(u"Language");
    settings.OSD_Color = byte(u"OSD_Color");
    settings.OSD_Profile = ini.ReadInt(kSetting, u"OSD_Profile", 0);
    settings.OSD_Effect = ini.ReadInt(kSetting, u"OSD_Effect", 0);
    settings.UI_Autorun = ini.ReadInt(kSetting, u"UI_Autorun", 0);
    settings.SyncMode = byte(u"SyncMode");
    LoadProfileList(settings);
}

void SaveSettings(const SETTING_INFO& settings) {
    CIniSession ini{CIniFile(SettingsFilePath())};
    ini.WriteInt(kSetting, u"Profile", settings.Profile);
    ini.WriteInt(kSetting, u"KeyMode", settings.KeyMode);
    ini.WriteInt(kSetting, u"PollingRate", settings.PollingRate);
    ini.WriteInt(kSetting, u"Language", settings.Language);
    ini.WriteInt(kSetting, u"OSD_Color", settings.OSD_Color);
    ini.WriteInt(kSetting, u"OSD_Profile", settings.OSD_Profile);
    ini.WriteInt(kSetting, u"OSD_Effect", settings.OSD_Effect);
    ini.WriteInt(kSetting, u"UI_Autorun", settings.UI_Autorun);
    ini.WriteInt(kSetting, u"SyncMode", settings.SyncMode);
    ini.Commit();
}

bool SaveFirmwareVersion(std::u16string_view version) {
    CIniFile(SettingsFilePath()).WriteString(kSetting, u"FWVersion", version);
    return true;
}

void WriteRegistryFirmwareVersion(std::u16string_view version) {
    Registry().SetString(kRegistryKeyPath, u"FWVersion", version);
}

void SavePlugState(int plugged) {
    CIniFile(SettingsFilePath()).WriteInt(kSetting, u"Plug", plugged);
    Registry().SetDword(kRegistryKeyPath, u"DevicePlug", static_cast<std::uint32_t>(plugged));
}

} // namespace orv
