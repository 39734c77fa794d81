#include "app/hid_wnd.h"

#include "app/paths.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "messaging/osd.h"
#include "platform/platform.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

namespace orv {

namespace {

// Windows of the suite that are closed whenever the keyboard comes or goes.
constexpr const char16_t* kClosedOnPlugChange[] = {u"Launch_Program", u"BelmicMacro",
                                                   u"BELMIC_SingleKey_Dlg", u"ManageProfile"};

} // namespace

CHidWnd::CHidWnd() : m_Settings{}, SlotLinkExe{} {}

CHidWnd::~CHidWnd() = default;

LResult CHidWnd::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    if (msg == WM_HID_REOPEN)
        m_Driver.ReopenDevice();
    if (m_uSyncMsg != 0 && msg == m_uSyncMsg && !OnSyncMessage(wParam, lParam))
        return 1;

    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        OnDestroy();
        return Default(msg, wParam, lParam);
    case WM_TIMER:
        OnTimer(wParam);
        return Default(msg, wParam, lParam);
    case WM_HID_PLUG:
        return OnPlugChanged(lParam);
    case WM_HID_RELOAD:
        ReloadAll();
        return 1;
    case WM_HID_UPLOAD:
        return OnUpload(wParam, lParam);
    case WM_HID_UPLOAD_SLOT:
        return OnUploadSlot(wParam);
    case WM_HID_SHOW_PROGRESS:
        return OnShowProgress();
    case WM_HID_KEY_EVENT:
        return OnKeyEvent(wParam, lParam);
    case WM_HID_LAUNCH:
        return OnLaunchProgram(wParam, lParam);
    case WM_HID_SET_SLOT:
        return OnSetSlot(wParam);
    case WM_HID_SET_OPTION:
        return OnSetOption(wParam, lParam);
    case WM_HID_IGNORED_669:
    case WM_HID_REOPEN:
        return 1;
    default:
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

int CHidWnd::OnCreate() {
    if (CWnd::WindowProc(WM_CREATE, 0, 0) == -1)
        return -1;
    m_uSyncMsg = Windows().RegisterMsg(kSyncMessageName);
    m_Driver.m_hNotifyWnd = m_hWnd;
    if (m_Driver.OpenDevice())
        StartTrayIconProgram();
    ReloadAll();
    // The reload creates the current slot's profile file whenever the profile
    // folder exists; a missing file means a first start.
    if (!Files().Exists(
            ProfileFilePath(FieldText(m_Settings.ProfileList[m_Settings.Profile].ProfileName)))) {
        WriteFirstStartProfiles();
        // Current was loaded before the defaults existed: the keyboard's next
        // lighting change would save that empty profile over them.
        SelectSlot(m_Settings.Profile, true);
    }
    return 0;
}

void CHidWnd::WriteFirstStartProfiles() {
    auto scratch = std::make_unique<PROFILE_DATA>();
    auto writeAll = [&](std::u16string_view folder) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            ResetProfileDefaults(*scratch, true, slot);
            SaveProfileFile(FieldText(m_Settings.ProfileList[slot].ProfileName), *scratch, folder);
        }
    };
    // The profile folder appears with all six files at once: a start cut
    // short half-way leaves none, so the next start is a first start again
    // rather than one that takes the missing defaults for written.
    const std::u16string data(FieldText(g_szDataDir));
    const std::u16string folder = data + u"Profiles";
    const std::u16string staging = data + u"Profiles.new";
    if (!Files().Exists(folder) &&
        (Files().IsDirectory(staging) || Files().MakeDirectory(staging))) {
        writeAll(staging + u"\\");
        bool complete = true;
        for (int slot = 0; slot < kSlotCount; ++slot)
            complete = complete &&
                       Files().Exists(ProfileFilePath(
                           FieldText(m_Settings.ProfileList[slot].ProfileName), staging + u"\\"));
        if (complete && Files().MoveEntry(staging, folder))
            return;
    }
    EnsureDataFolder(u"\\Orvane\\Profiles\\");
    writeAll({});
}

void CHidWnd::ReloadAll() {
    ResetSettings(m_Settings);
    if (!SettingsFileExists())
        SaveSettings(m_Settings);
    LoadSettings(m_Settings);
    ValidateSettings(m_Settings);
    SelectSlot(m_Settings.Profile, true);
    for (int slot = 0; slot < kSlotCount; ++slot)
        LoadLinkTable(FieldText(m_Settings.ProfileList[slot].ProfileName), {}, SlotLinkExe[slot]);
}

void CHidWnd::OnTimer(TimerId id) {
    if (id == IDT_APP_WATCH) {
        WatchForegroundApp();
    } else if (id == IDT_LAUNCH_LOCK) {
        m_bLaunchLock = false;
        KillTimer(IDT_LAUNCH_LOCK);
    }
}

LResult CHidWnd::OnPlugChanged(LParam plugged) {
    m_nSavedSlot = -1;               // a temporary switch does not survive a plug change
    std::u16string version(1, u' '); // no version known: a single space, never empty
    if (plugged != 0) {
        std::uint8_t a = 0, b = 0;
        m_Driver.GetFirmwareVersion(a, b);
        // A keyboard that could not be asked at all has no version to show.
        if (m_Driver.m_bOpened != 0)
            version = FormatW(u"%d%d", a, b);
        std::uint8_t slot = 0;
        if (m_Driver.GetDeviceSlot(slot) == kCommandDone)
            SelectSlot(m_Settings.Profile, true);
        NotifyPlugState(static_cast<int>(plugged));
        SetTimer(IDT_APP_WATCH, 2000);
    } else {
        KillTimer(IDT_APP_WATCH);
        NotifyPlugState(0);
    }
    WndHandle tray = Windows().FindTopLevel(nullptr, kTrayIconTitle);
    if (tray != kNoWindow)
        Windows().PostMsg(tray, WM_HID_PLUG, static_cast<WParam>(plugged), 0);
    SaveFirmwareVersion(version);
    WriteRegistryFirmwareVersion(version);
    m_Settings.Plug = plugged != 0 ? 1 : 0;
    SavePlugState(m_Settings.Plug);
    return 1;
}

bool CHidWnd::NotifyPlugState(int state) {
    WndHandle config = Windows().FindTopLevel(nullptr, kConfigWindowTitle);
    if (config != kNoWindow)
        Windows().PostMsg(config, WM_HID_PLUG, static_cast<WParam>(state), 0);
    for (const char16_t* title : kClosedOnPlugChange) {
        WndHandle wnd = Windows().FindTopLevel(nullptr, title);
        if (wnd != kNoWindow)
            Windows().PostMsg(wnd, WM_CLOSE, 0, 0);
    }
    return config != kNoWindow;
}

void CHidWnd::OnDestroy() {
    WndHandle osd = Windows().FindTopLevel(nullptr, kOsdWindowTitle);
    if (osd != kNoWindow)
        Windows().PostMsg(osd, WM_DESTROY, 0, 0);
    KillTimer(IDT_APP_WATCH);
}

} // namespace orv
