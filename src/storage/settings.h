// The settings file config.ini (section "Setting") and the two registry
// values that mirror the attached keyboard for the rest of the suite.
#pragma once

#include "storage/profile_data.h"

#include <string>
#include <string_view>

namespace orv {

// Below the current-user root; opened for reading and writing, never created.
inline constexpr char16_t kRegistryKeyPath[] = u"SOFTWARE\\Orvane";

// The data folder followed by "config.ini".
std::u16string SettingsFilePath();

bool SettingsFileExists();

// Reads the "Setting" keys and then the profile list; brings nothing into
// range (ValidateSettings does).
void LoadSettings(SETTING_INFO& settings);

// Writes the nine settings the service changes; "Plug" and "FWVersion" have
// writers of their own.
void SaveSettings(const SETTING_INFO& settings);

bool SaveFirmwareVersion(std::u16string_view version);
void WriteRegistryFirmwareVersion(std::u16string_view version);

// "Plug" in config.ini, then "DevicePlug" in the registry.
void SavePlugState(int plugged);

} // namespace orv
