// Code-page conversions that the host's and the Windows backend must agree on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orv::testcases {

struct CodePageCase {
    std::uint32_t codePage;
    std::string bytes;
    std::u16string text;
};

inline const CodePageCase kCodePageCases[] = {
    {1252, "\x80\xE9\x81 x", u"\u20ac\u00e9\u0081 x"},
    {65001, "\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u20ac\U0001F600"},
    {1251, "\xE0\xFF", u"\u0430\u044f"},
    {20866, "\xC1\xD2", u"\u0430\u0440"},
    {28597, "\xE1", u"\u03b1"},
    {28605, "\xA4", u"\u20ac"},
    {437, "\x82", u"\u00e9"},
    {37, "\xC1\x81", u"Aa"},
    {932, "\x82\xA0", u"\u3042"},
    {936, "\xC4\xE3", u"\u4f60"},
    {949, "\xC7\xD1", u"\ud55c"},
    {950, "\xA7\x41", u"\u4f60"},
    {65000, "+AKM-", u"\u00a3"},
    {20127, "AZ", u"AZ"},
    {1251, "\x98\x81", u"\u0098\u0403"}, // 0x98 is unassigned
    {874, "\x81", u"\u0081"},
};

// Conversions from UTF-16: only characters with a form of their own fit,
// never a look-alike.
struct FromWideCase {
    std::uint32_t codePage;
    std::u16string text;
    std::optional<std::string> bytes; // none: does not fit
};

inline const FromWideCase kFromWideCases[] = {
    {1252, u"\u20ac\u00e9\u0081 x", "\x80\xE9\x81 x"},
    {1252, u"\u0416", std::nullopt},
    {1252, u"\u0100", std::nullopt}, // 'A' would be a look-alike
    {1252, std::u16string(1, u'\xD800'), std::nullopt},
    {1251, u"\u0418\u0433\u0440\u044b", "\xC8\xE3\xF0\xFB"},
    {1251, u"\u0098", "\x98"},
    {1251, u"\u0081", std::nullopt},
    {1251, u"\u00e9", std::nullopt},
    {932, u"\u30b2\u30fc\u30e0\\", "\x83\x51\x81\x5B\x83\x80\\"},
    {932, u"\u00a5", std::nullopt},
    {936, u"\u6e38\u620f\u20ac", "\xD3\xCE\xCF\xB7\x80"},
    {949, u"\uac8c\uc784", "\xB0\xD4\xC0\xD3"},
    {950, u"\u904a\u6232", "\xB9\x43\xC0\xB8"},
    {65001, u"\u20ac\U0001F600", "\xE2\x82\xAC\xF0\x9F\x98\x80"},
    {65001, std::u16string(1, u'\xDC00'), std::nullopt},
    {65000, u"\u00a3", "+AKM-"}, // a page that takes no flags
};

} // namespace orv::testcases
