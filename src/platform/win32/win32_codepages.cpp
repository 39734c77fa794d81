// Windows backend of code-page conversion.
#include "platform/win32/win32_backends.h"

#include <windows.h>

#include <climits>

namespace orv::win32 {

namespace {

// The code pages whose wide-to-multibyte conversion refuses every flag and
// the used-default report; for them a conversion fits when it converts back
// to the same text.
bool TakesNoFlags(UINT codePage) {
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
           codePage == 54936 || (codePage >= 57002 && codePage <= 57011) || codePage == 65000;
}

bool ConvertsBackTo(UINT codePage, const std::string& bytes, std::u16string_view text) {
    const int n =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n != static_cast<int>(text.size()))
        return false;
    std::u16string back(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<LPWSTR>(back.data()), n);
    return back == text;
}

class Win32CodePageConverter final : public ICodePages {
public:
    int ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
               int capacity) override {
        if (count <= 0 || capacity < 0)
            return 0;
        return MultiByteToWideChar(codePage, 0, data, count, reinterpret_cast<LPWSTR>(out),
                                   capacity);
    }

    bool FromWide(std::uint32_t codePage, std::u16string_view text, std::string& out) override {
        out.clear();
        if (text.empty())
            return true;
        if (text.size() > static_cast<std::size_t>(INT_MAX))
            return false;
        // The system's code page may be UTF-8, which takes other flags.
        const UINT page = codePage == kAnsiCodePage ? GetACP() : codePage;
        const bool utf8 = page == CP_UTF8;
        const bool plain = TakesNoFlags(page);
        // Without these, a character the page lacks would silently become a
        // look-alike or '?', and a name read back would name another file.
        const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : plain ? 0 : WC_NO_BEST_FIT_CHARS;
        BOOL usedDefault = FALSE;
        BOOL* used = utf8 || plain ? nullptr : &usedDefault;
        const auto* wide = reinterpret_cast<LPCWSTR>(text.data());
        const int size = static_cast<int>(text.size());
        const int n = WideCharToMultiByte(page, flags, wide, size, nullptr, 0, nullptr, used);
        if (n <= 0 || usedDefault)
            return false;
        out.resize(static_cast<std::size_t>(n));
        if (WideCharToMultiByte(page, flags, wide, size, out.data(), n, nullptr, used) != n ||
            usedDefault)
            return false;
        return !plain || ConvertsBackTo(page, out, text);
    }
};

} // namespace

ICodePages& Win32CodePages() {
    static Win32CodePageConverter codepages;
    return codepages;
}

} // namespace orv::win32
