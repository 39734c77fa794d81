// Code-page conversions that the host's and the Windows backend must agree on.
#pragma once

#include <cstdint>
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
};

} // namespace orv::testcases
