// Basic types of the window-message world, as seen by the portable core.
//
// The core never includes the platform's headers. Standard message numbers
// are defined here only when the platform's own definitions are absent, so a
// platform adapter that includes both sees one consistent set of values.
#pragma once

#include <cstddef>
#include <cstdint>

// The calling convention of the device-access library's entry points and
// callback: the platform's standard one (__stdcall on Windows, where 64-bit
// has no other; the compiler's default elsewhere).
#if defined(_WIN32)
#define ORV_HID_CALL __stdcall
#else
#define ORV_HID_CALL
#endif

namespace orv {

using WndHandle = std::uintptr_t; // 0 = no window
using MsgId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using TimerId = std::uintptr_t;

constexpr WndHandle kNoWindow = 0;
constexpr WndHandle kBroadcast = 0xFFFF; // every top-level window

// The data block of a copy-data message, laid out as the platform's record.
struct CopyDataBlock {
    std::uintptr_t dwData;
    std::uint32_t cbData;
    const void* lpData;
};

// A message as it comes out of the queue, before it is dispatched.
struct QueuedMsg {
    WndHandle wnd;
    MsgId msg;
    WParam wParam;
    LParam lParam;
};

#ifndef WM_CREATE
constexpr MsgId WM_CREATE = 0x0001;
constexpr MsgId WM_DESTROY = 0x0002;
constexpr MsgId WM_KILLFOCUS = 0x0008;
constexpr MsgId WM_PAINT = 0x000F;
constexpr MsgId WM_CLOSE = 0x0010;
constexpr MsgId WM_QUIT = 0x0012;
constexpr MsgId WM_ERASEBKGND = 0x0014;
constexpr MsgId WM_COPYDATA = 0x004A;
constexpr MsgId WM_NCCREATE = 0x0081;
constexpr MsgId WM_NCDESTROY = 0x0082;
constexpr MsgId WM_KEYDOWN = 0x0100;
constexpr MsgId WM_INITDIALOG = 0x0110;
constexpr MsgId WM_TIMER = 0x0113;
constexpr MsgId WM_MOUSEMOVE = 0x0200;
constexpr MsgId WM_LBUTTONDOWN = 0x0201;
constexpr MsgId WM_LBUTTONUP = 0x0202;
constexpr MsgId WM_POWERBROADCAST = 0x0218;
constexpr MsgId WM_CAPTURECHANGED = 0x0215;
constexpr MsgId WM_USER = 0x0400;
#endif

// WM_POWERBROADCAST events: resumed, by itself or by the user.
#ifndef PBT_APMRESUMESUSPEND
constexpr WParam PBT_APMRESUMESUSPEND = 0x0007;
constexpr WParam PBT_APMRESUMEAUTOMATIC = 0x0012;
#endif

#ifndef VK_RETURN
constexpr WParam VK_RETURN = 0x0D;
constexpr WParam VK_ESCAPE = 0x1B;
#endif

#ifndef WS_POPUP
constexpr std::uint32_t WS_POPUP = 0x80000000u;
constexpr std::uint32_t WS_CHILD = 0x40000000u;
constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
#endif

#ifndef DS_SETFONT
constexpr std::uint32_t DS_FIXEDSYS = 0x0008u;
constexpr std::uint32_t DS_SETFONT = 0x0040u;
#endif

#ifndef SW_SHOWNORMAL
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
#endif

} // namespace orv
