// Windows backend of the user's registry.
#include "platform/win32/win32_backends.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <string>

namespace orv::win32 {

namespace {

class Win32UserRegistry final : public IRegistry {
public:
    bool SetString(std::u16string_view keyPath, std::u16string_view name,
                   std::u16string_view value) override {
        std::wstring text = W(value);
        // The stored length counts the terminating zero.
        return SetValue(keyPath, name, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    bool SetDword(std::u16string_view keyPath, std::u16string_view name,
                  std::uint32_t value) override {
        DWORD dword = value;
        return SetValue(keyPath, name, REG_DWORD, &dword, sizeof dword);
    }

private:
    static bool SetValue(std::u16string_view keyPath, std::u16string_view name, DWORD type,
                         const void* data, DWORD size) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, W(keyPath).c_str(), 0, KEY_READ | KEY_WRITE, &key) !=
            ERROR_SUCCESS)
            return false;
        LSTATUS status =
            RegSetValueExW(key, W(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
};

} // namespace

IRegistry& Win32Registry() {
    static Win32UserRegistry registry;
    return registry;
}

} // namespace orv::win32
