// Bridges between the core's char16_t text and the platform's wchar_t, which
// on Windows are the same 16-bit units.
#pragma once

#include <string>
#include <string_view>

namespace orv::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

// A nullable zero-terminated text, passed through unchanged.
inline const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

inline std::wstring W(std::u16string_view s) {
    return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size());
}

inline std::u16string U16(std::wstring_view s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size());
}

inline std::u16string U16(const wchar_t* s) { return s ? U16(std::wstring_view(s)) : u""; }

} // namespace orv::win32
