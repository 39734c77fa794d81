#include "profile_slots.h"

#include "base/wstr.h"
#include "platform/platform.h"
#include "storage/ini_file.h"
#include "storage/paths.h"
#include "storage/profile_file.h"
#include "storage/profile_list.h"

#include <cstring>

namespace orv::ctl {

namespace {

bool ReservedDeviceName(std::u16string_view name) {
    // The platform refuses these as file names, whatever extension follows.
    std::u16string base = FoldedCopy(name.substr(0, name.find(u'.')));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    for (const char16_t* reserved : {u"CON", u"PRN", u"AUX", u"NUL"})
        if (base == reserved)
            return true;
    return base.size() == 4 &&
           (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
           base[3] >= u'1' && base[3] <= u'9';
}

} // namespace

bool FindDataFolder(std::u16string& folder) {
    if (g_szDataDir[0] == 0) {
        std::u16string appData = Shell().AppDataFolder();
        if (!appData.empty() && appData.size() + 8 < kPathCapacity)
            CopyToField(g_szDataDir, appData + u"\\Orvane\\");
    }
    folder = std::u16string(FieldText(g_szDataDir));
    return !folder.empty();
}

SlotProfile ReadSlotProfile(int slot) {
    SlotProfile slotProfile;
    slotProfile.record = ReadSlotMapping(slot);
    if (slotProfile.record < 0) {
        slotProfile.name = FormatW(u"Profile %d", slot);
        return slotProfile;
    }
    auto item = std::make_unique<PROFILE_LIST_ITEM>();
    ReadListItem(slotProfile.record, *item);
    slotProfile.name = std::u16string(FieldText(item->ProfileName));
    return slotProfile;
}

std::unique_ptr<PROFILE_DATA> ReadProfile(std::u16string_view name) {
    auto settings = std::make_unique<SETTING_INFO>();
    ClearProfile(*settings);
    ReadProfileFile(name, settings->Current);
    auto profile = std::make_unique<PROFILE_DATA>();
    std::memcpy(profile.get(), &settings->Current, sizeof *profile);
    return profile;
}

std::string NameFault(std::u16string_view name) {
    if (name.empty())
        return "a profile name cannot be empty";
    const char16_t first = name.front(), last = name.back();
    if (first == u' ' || first == u'\t' || last == u' ' || last == u'\t')
        return "a profile name cannot start or end with a blank";
    if (last == u'.')
        return "a profile name cannot end in '.'";
    if (name.size() >= 2 && first == last && (first == u'\'' || first == u'"'))
        return "a profile name cannot be in quotes";
    for (char16_t c : name) {
        if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            return "a profile name is a file name and cannot hold \\ / : * ? \" < > | or control "
                   "characters";
    }
    if (ReservedDeviceName(name))
        return ToUtf8(name).append(" is a device name of the platform, not a file name");
    if (ProfileFilePath(name).size() > kMaxIniPath)
        return "the name is too long: its file path would pass " + std::to_string(kMaxIniPath) +
               " characters";
    return {};
}

} // namespace orv::ctl
