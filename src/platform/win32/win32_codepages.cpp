#include "platform/codepage.h"

#include <windows.h>

namespace orv::win32 {

namespace {

class Win32CodePageConverter final : public ICodePages {
public:
    int ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
               int capacity) override {
        if (count <= 0 || capacity < 0)
            return 0;
        return MultiByteToWideChar(codePage, 0, data, count, reinterpret_cast<LPWSTR>(out),
                                   capacity);
    }
};

} // namespace

ICodePages& Win32CodePages() {
    static Win32CodePageConverter codepages;
    return codepages;
}

} // namespace orv::win32
