// The Windows backends in the contract suite, run under Wine with the other
// Windows unit tests.
#include "../win/e2e_support.h"
#include "contract_backend.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace orv::contract {
namespace {

using win32::U16;
using win32::W;

class Win32Backend final : public Backend {
public:
    Win32Backend() { win32::InstallWin32Platform(); }
    ~Win32Backend() override {
        if (!m_scratch.empty())
            e2e::RemoveTree(m_scratch);
        if (!m_key.empty()) {
            RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
            RegDeleteKeyW(HKEY_CURRENT_USER, kKeyParent);
        }
    }

    std::u16string Scratch() override {
        if (m_scratch.empty()) {
            static int made = 0;
            wchar_t temp[MAX_PATH];
            GetTempPathW(MAX_PATH, temp);
            m_scratch = std::wstring(temp) + L"orv-contract-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made) +
                        L"\\";
            CreateDirectoryW(m_scratch.c_str(), nullptr);
        }
        return U16(m_scratch);
    }

    void RunFor(std::uint32_t ms) override {
        const DWORD end = GetTickCount() + ms;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            const DWORD now = GetTickCount();
            if (static_cast<LONG>(end - now) <= 0)
                return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        }
    }

    std::u16string MakeRegistryKey() override {
        m_key = std::wstring(kKeyParent) + L"\\" + std::to_wstring(GetCurrentProcessId());
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
        return U16(m_key);
    }

    std::optional<StoredValue> ReadRegistryValue(std::u16string_view keyPath,
                                                 std::u16string_view name) override {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, W(keyPath).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return std::nullopt;
        DWORD type = 0, size = 0;
        std::wstring wname = W(name);
        std::optional<StoredValue> value;
        if (RegQueryValueExW(key, wname.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::string data(size, '\0');
            if (RegQueryValueExW(key, wname.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
                data.resize(size);
                if (type == REG_DWORD && size == sizeof(DWORD)) {
                    DWORD dword;
                    std::memcpy(&dword, data.data(), sizeof dword);
                    value = StoredValue{StoredValue::Kind::Dword, {}, dword};
                } else if (type == REG_SZ && size % 2 == 0 && size >= 2 && data[size - 1] == 0 &&
                           data[size - 2] == 0) {
                    // The stored text ends in its zero, which is no part of it.
                    std::u16string text(size / 2 - 1, u'\0');
                    std::memcpy(text.data(), data.data(), size - 2);
                    value = StoredValue{StoredValue::Kind::String, text, 0};
                } else {
                    value = StoredValue{StoredValue::Kind::Other, {}, 0};
                }
            }
        }
        RegCloseKey(key);
        return value;
    }

    bool BringToFront(std::uintptr_t wnd) override {
        HWND hwnd = reinterpret_cast<HWND>(wnd);
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        return true;
    }

private:
    static constexpr const wchar_t* kKeyParent = L"Software\\OrvContract";
    std::wstring m_scratch;
    std::wstring m_key;
};

} // namespace

std::unique_ptr<Backend> MakeBackend() {
    return std::make_unique<Win32Backend>();
}

} // namespace orv::contract
