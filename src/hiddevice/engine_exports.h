// The six exports of a HidDevice.dll whose logic is the engine
// (hid_engine.h). Included by exactly one file of each such DLL, which
// defines DllEngine(): the engine, made on first use and never destroyed
// (the service does not close the library when it ends, so its threads may
// still run while the process exits).
#pragma once

#include "device/hid_library.h"
#include "hiddevice/hid_engine.h"

#include <windows.h>

namespace orv::hid {
HidEngine& DllEngine();
} // namespace orv::hid

extern "C" {

BOOL WINAPI HidSetFilter(const orv::HID_DEVICE_FILTER* filter, DWORD reserved) {
    return orv::hid::DllEngine().SetFilter(filter, reserved);
}

BOOL WINAPI HidSetCallback(orv::HidInputCallback callback, DWORD reserved) {
    return orv::hid::DllEngine().SetCallback(callback, reserved);
}

BOOL WINAPI HidOpen(HWND notifyWnd, UINT notifyMsg, DWORD reserved) {
    return orv::hid::DllEngine().Open(reinterpret_cast<orv::WndHandle>(notifyWnd), notifyMsg,
                                      reserved);
}

BOOL WINAPI HidClose(DWORD reserved) {
    return orv::hid::DllEngine().Close(reserved);
}

BOOL WINAPI HidWrite(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved) {
    return orv::hid::DllEngine().Write(deviceId, buffer, length, reserved);
}

BOOL WINAPI HidRead(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved) {
    return orv::hid::DllEngine().Read(deviceId, buffer, length, reserved);
}

} // extern "C"
