#include "messaging/osd.h"

#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "storage/paths.h"

namespace orv {

namespace {

// How long the display program may take over a record. One that hangs would
// otherwise hold the service, half-way through a slot change, for good.
constexpr std::uint32_t kOsdAnswerMs = 1000;

std::uint32_t OsdTextColor(std::uint8_t osdColor) {
    switch (osdColor) {
    case 1:
        return 0x000055FF;
    case 2:
        return 0x0000FF00;
    default:
        return 0x000000FF;
    }
}

} // namespace

OSD_DATA MakeOsdRecord(std::u16string_view text, std::uint8_t osdColor) {
    OSD_DATA record{};
    CopyToField(record.Text, text);
    record.Param0 = 0;
    record.Param1 = 1500;
    record.Param2 = 0;
    record.TextColor = OsdTextColor(osdColor);
    record.Param4 = 40;
    CopyToField(record.FontName, u"Arial");
    return record;
}

void ShowOsd(std::u16string_view text, std::uint8_t osdColor) {
    WndHandle osd = Windows().FindTopLevel(kOsdWindowClass, kOsdWindowTitle);
    for (int attempt = 0; osd == kNoWindow && attempt < 5; ++attempt) {
        PathParts module = SplitPath(Kernel().ModulePath());
        Shell().Execute(nullptr, module.drive + module.dir + u"osdview.exe", u"", SW_SHOWNORMAL);
        Clock().Sleep(500);
        osd = Windows().FindTopLevel(kOsdWindowClass, kOsdWindowTitle);
    }
    if (osd == kNoWindow)
        return;
    OSD_DATA record = MakeOsdRecord(text, osdColor);
    // A display that does not answer in time shows nothing this once; the
    // slot change goes on, and the next one tries again.
    Windows().SendCopyData(osd, kNoWindow, 0, &record, sizeof record, kOsdAnswerMs);
}

void StartTrayIconProgram() {
    if (Windows().FindTopLevel(nullptr, kTrayIconTitle) != kNoWindow)
        return;
    std::u16string folder(FieldText(g_szExeDir));
    if (!folder.empty())
        folder.pop_back();
    Shell().Execute(u"open", FormatW(u"%s\\traystub.exe", folder.c_str()), u"", SW_SHOW);
}

} // namespace orv
