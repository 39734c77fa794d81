// Code-page conversion: 8-bit text of a numbered code page into UTF-16.
#pragma once

#include <cstdint>

namespace orv {

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
};

} // namespace orv
