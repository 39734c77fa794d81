#include "storage/profile_list.h"

#include "base/wstr.h"
#include "storage/ini_file.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

#include <cstring>
#include <type_traits>

namespace orv {

namespace {

constexpr char16_t kListNumber[] = u"MyXlistNumber";
constexpr char16_t kProfileData[] = u"ProfileData";
constexpr int kNoRecord = -1;

std::u16string ModeKey(int slot) {
    return FormatW(u"Mode_%d", slot + 1);
}
std::u16string RecordSection(int n) {
    return FormatW(u"MyXlistIconInfo%d", n);
}

void WriteListCount(CIniSession& ini) {
    ini.WriteInt(kListNumber, u"TotalListNumber", kSlotCount);
}

int ReadSlotMapping(CIniSession& ini, int slot) {
    return ini.ReadInt(kProfileData, ModeKey(slot), kNoRecord);
}

void WriteSlotMapping(CIniSession& ini, int slot, int n) {
    ini.WriteInt(kProfileData, ModeKey(slot), n);
}

void ReadListItem(CIniSession& ini, int n, PROFILE_LIST_ITEM& item) {
    std::memset(&item, 0, sizeof item);
    item.ProfileID = n;
    std::u16string section = RecordSection(n);
    SetFieldText(item.ProfileName, ini.ReadString(section, u"ProfileName", u""));
    SetFieldText(item.ProfileIconName, ini.ReadString(section, u"ProfileIconName", u""));
    item.ProfileColor = ini.ReadInt(section, u"ProfileColor", 0);
}

void WriteListItem(CIniSession& ini, int n, const PROFILE_LIST_ITEM& item) {
    std::u16string section = RecordSection(n);
    std::u16string_view name = FieldText(item.ProfileName);
    ini.WriteInt(section, u"ProfileID", n);
    ini.WriteString(section, u"ProfileName", name);
    ini.WriteString(section, u"ProfileIconName", FieldText(item.ProfileIconName));
    ini.WriteInt(section, u"ProfileColor", item.ProfileColor);
    CIniFile(ProfileFilePath(name)).WriteString(kProfileGroup, u"CurrentProfileName", name);
}

// Each public call is one operation of its own on config.ini.
template <typename Op> auto OnSettingsFile(Op op) {
    CIniSession ini{CIniFile(SettingsFilePath())};
    if constexpr (std::is_void_v<decltype(op(ini))>) {
        op(ini);
        ini.Commit();
    } else {
        auto result = op(ini);
        ini.Commit();
        return result;
    }
}

} // namespace

void LoadProfileList(SETTING_INFO& settings) {
    // One session: later slots see the records that earlier slots added, and
    // config.ini is replaced once, after the profile files have their names.
    CIniSession ini{CIniFile(SettingsFilePath())};
    if (ini.ReadInt(kListNumber, u"TotalListNumber", kNoRecord) < kSlotCount)
        WriteListCount(ini);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        PROFILE_LIST_ITEM& item = settings.ProfileList[slot];
        int n = ReadSlotMapping(ini, slot);
        if (n != kNoRecord) {
            ReadListItem(ini, n, item);
        } else {
            WriteSlotMapping(ini, slot, slot);
            WriteListItem(ini, slot, item);
        }
    }
    ini.Commit();
}

void WriteListCount() {
    OnSettingsFile([](CIniSession& ini) { WriteListCount(ini); });
}

int ReadSlotMapping(int slot) {
    return OnSettingsFile([&](CIniSession& ini) { return ReadSlotMapping(ini, slot); });
}

void WriteSlotMapping(int slot, int n) {
    OnSettingsFile([&](CIniSession& ini) { WriteSlotMapping(ini, slot, n); });
}

void ReadListItem(int n, PROFILE_LIST_ITEM& item) {
    OnSettingsFile([&](CIniSession& ini) { ReadListItem(ini, n, item); });
}

void WriteListItem(int n, const PROFILE_LIST_ITEM& item) {
    OnSettingsFile([&](CIniSession& ini) { WriteListItem(ini, n, item); });
}

} // namespace orv
