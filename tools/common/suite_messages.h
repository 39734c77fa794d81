// Names of the suite's window messages, for tools that print or accept them.
#pragma once

#include "messaging/messages.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace orv::tools {

struct NamedMessage {
    const wchar_t* name;
    UINT value;
};

inline constexpr NamedMessage kNamedMessages[] = {
    {L"WM_DESTROY", WM_DESTROY},
    {L"WM_CLOSE", WM_CLOSE},
    {L"WM_COPYDATA", WM_COPYDATA},
    {L"WM_HID_FE_NOTIFY", WM_HID_FE_NOTIFY},
    {L"WM_HID_MONITOR", WM_HID_MONITOR},
    {L"WM_HID_UPLOAD", WM_HID_UPLOAD},
    {L"WM_HID_RELOAD", WM_HID_RELOAD},
    {L"WM_HID_KEY_EVENT", WM_HID_KEY_EVENT},
    {L"WM_HID_SET_SLOT", WM_HID_SET_SLOT},
    {L"WM_HID_SET_OPTION", WM_HID_SET_OPTION},
    {L"WM_HID_LIGHT_EFFECT", WM_HID_LIGHT_EFFECT},
    {L"WM_HID_LIGHT_OPTION", WM_HID_LIGHT_OPTION},
    {L"WM_HID_LIGHT_LEVEL", WM_HID_LIGHT_LEVEL},
    {L"WM_HID_LAUNCH", WM_HID_LAUNCH},
    {L"WM_HID_UPLOAD_SLOT", WM_HID_UPLOAD_SLOT},
    {L"WM_HID_SHOW_PROGRESS", WM_HID_SHOW_PROGRESS},
    {L"WM_HID_REOPEN", WM_HID_REOPEN},
    {L"WM_HID_PLUG", WM_HID_PLUG},
    {L"WM_HID_STATUS_NOTIFY", WM_HID_STATUS_NOTIFY},
};

inline UINT SyncMessage() {
    return RegisterWindowMessageW(reinterpret_cast<const wchar_t*>(kSyncMessageName));
}

// A message given by name ("WM_HID_UPLOAD", "QUIV_DEV_SYNC") or number
// (decimal or 0x...); 0 when unknown.
inline UINT MessageFromText(const wchar_t* text) {
    if (wcscmp(text, reinterpret_cast<const wchar_t*>(kSyncMessageName)) == 0)
        return SyncMessage();
    for (const NamedMessage& m : kNamedMessages) {
        if (wcscmp(text, m.name) == 0)
            return m.value;
    }
    if (iswdigit(text[0]))
        return static_cast<UINT>(wcstoul(text, nullptr, 0));
    return 0;
}

inline std::wstring MessageName(UINT msg) {
    if (msg == SyncMessage())
        return reinterpret_cast<const wchar_t*>(kSyncMessageName);
    for (const NamedMessage& m : kNamedMessages) {
        if (m.value == msg)
            return m.name;
    }
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%X", msg);
    return buf;
}

} // namespace orv::tools
