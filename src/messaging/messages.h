// Message numbers and window names of the suite's window-message protocol.
#pragma once

#include "platform/types.h"

namespace orv {

// Private messages. Numbers are fixed: the other programs of the suite use them.
constexpr MsgId WM_HID_FE_NOTIFY = 0x460;
constexpr MsgId WM_HID_MONITOR = 0x502;
constexpr MsgId WM_HID_UPLOAD = 0x650;
constexpr MsgId WM_HID_RELOAD = 0x651;
constexpr MsgId WM_HID_KEY_EVENT = 0x656;
constexpr MsgId WM_HID_SET_SLOT = 0x658;
constexpr MsgId WM_HID_SET_OPTION = 0x659;
constexpr MsgId WM_HID_LIGHT_EFFECT = 0x65A;
constexpr MsgId WM_HID_LIGHT_OPTION = 0x65C;
constexpr MsgId WM_HID_LIGHT_LEVEL = 0x65D;
constexpr MsgId WM_HID_LAUNCH = 0x660;
constexpr MsgId WM_HID_UPLOAD_SLOT = 0x668;
constexpr MsgId WM_HID_IGNORED_669 = 0x669;
constexpr MsgId WM_HID_SHOW_PROGRESS = 0x670;
constexpr MsgId WM_HID_REOPEN = 0x900;
constexpr MsgId WM_HID_PLUG = 0x5401;
constexpr MsgId WM_HID_STATUS_NOTIFY = 0x5567;
// The platform's notice that another window came to the foreground; the
// service's own, no other program sends it.
constexpr MsgId WM_HID_FOREGROUND = 0x8016;

// The registered message every program of the suite listens to.
constexpr const char16_t* kSyncMessageName = u"QUIV_DEV_SYNC";

// Codes (wParam) of the registered message.
constexpr WParam kSyncSelectSlot = 0;      // lParam: slot; also what the service announces
constexpr WParam kSyncTemporarySwitch = 1; // lParam: slot + 1, or -1 to return
constexpr WParam kSyncHeldFunction = 2;    // lParam: 0..2, or -1 when it ends
constexpr WParam kSyncPickSlot = 10;       // lParam: 0..5
constexpr WParam kSyncHoldKey = 11;        // lParam: 1 pressed, 0 released
constexpr WParam kSyncMode = 12;           // lParam: 0..6
constexpr WParam kSyncSelectSlotToo = 20;  // as kSyncSelectSlot

// Window titles.
constexpr const char16_t* kMainWindowTitle = u"Orvane_Hid";
constexpr const char16_t* kConfigWindowTitle = u"Orvane";
constexpr const char16_t* kTrayIconTitle = u"Orvane_TrayIcon";
constexpr const char16_t* kOsdWindowTitle = u"Orvane OSD";
constexpr const char16_t* kOsdWindowClass = u"On Screen Display";
constexpr const char16_t* kLoadingWindowTitle = u"DLGLoading";

// Timers of the main window.
constexpr TimerId IDT_APP_WATCH = 0x1001;
constexpr TimerId IDT_LAUNCH_LOCK = 0x689;
// The foreground window's settle and the look at its handle (messaging/foreground_settle).
constexpr TimerId IDT_FOREGROUND_SETTLE = 0x1003;
constexpr TimerId IDT_FOREGROUND_LOOK = 0x1004;
// Once, a while after the system resumes from sleep or hibernation: the
// keyboard's connection is started over.
constexpr TimerId IDT_RESUME_SETTLE = 0x1002;
constexpr std::uint32_t kResumeSettleMs = 2000;

} // namespace orv
