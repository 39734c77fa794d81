// Code-page conversion: 8-bit text of a numbered code page to and from UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// Code page 0 is the system's ANSI code page, the one the platform's INI
// functions read and create 8-bit files in.
constexpr std::uint32_t kAnsiCodePage = 0;

class ICodePages {
public:
    virtual ~ICodePages() = default;

    // Converts `count` bytes of code page `codePage` (0 = the system's ANSI
    // code page, 65001 = UTF-8) to UTF-16, as the platform's multibyte-to-
    // wide conversion does without flags: bytes that cannot be mapped become
    // a replacement character. With `capacity` 0 nothing is written and the
    // result is the number of units needed; otherwise the result is the
    // number of units written, or 0 when they do not fit. The result is also
    // 0 when this platform cannot convert the code page.
    virtual int ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
                       int capacity) = 0;

    // Converts UTF-16 text to code page `codePage` (0 as above) only when every
    // character has a form of its own there, one that converts back to the
    // same character: no look-alike, no default character. Returns false, with
    // `out` unspecified, when a character has none (a lone surrogate has none
    // anywhere) or this platform cannot convert the code page.
    virtual bool FromWide(std::uint32_t codePage, std::u16string_view text, std::string& out) = 0;
};

} // namespace orv
