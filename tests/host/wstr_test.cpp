// Text helpers the whole core relies on for formatting, fields and paths.
#include "base/wstr.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(FormatW, Conversions) {
    EXPECT_EQ(FormatW(u"Profile %d", 3), u"Profile 3");
    EXPECT_EQ(FormatW(u"%d%d", 1, 5), u"15");
    EXPECT_EQ(FormatW(u"%d", -2147483647 - 1), u"-2147483648");
    EXPECT_EQ(FormatW(u"%02x %02x", 0xAu, 0xFEu), u"0a fe");
    EXPECT_EQ(FormatW(u"0x%x,%X", 0x5401u, 0xabu), u"0x5401,AB");
    EXPECT_EQ(FormatW(u"%s%s.ini", u"C:\\P\\", u"Profile 0"), u"C:\\P\\Profile 0.ini");
    EXPECT_EQ(FormatW(u"%5d|%-3d|%05d", 42, 7, -42), u"   42|7  |-0042");
    EXPECT_EQ(FormatW(u"100%%"), u"100%");
}

TEST(Fields, CopyCutsAndTerminatesReadStopsAtCapacity) {
    char16_t field[4] = {u'x', u'x', u'x', u'x'};
    CopyToField(field, u"abcdef");
    EXPECT_EQ(FieldText(field), u"abc");
    EXPECT_EQ(field[3], 0);

    const char16_t unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(FieldText(unterminated), u"abc");
}

TEST(Utf8, RoundTripAndReplacement) {
    std::u16string text = u"Gr\u00fc\u00dfe \u4e2d \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xe2\x82"), u"\uFFFD");                 // cut sequence
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd"); // lone surrogate
}

TEST(Paths, SplitLikeTheRuntime) {
    PathParts p = SplitPath(u"C:\\Program Files\\Orvane\\OrvaneHid.exe");
    EXPECT_EQ(p.drive, u"C:");
    EXPECT_EQ(p.dir, u"\\Program Files\\Orvane\\");
    EXPECT_EQ(p.name, u"OrvaneHid");
    EXPECT_EQ(p.ext, u".exe");
    EXPECT_EQ(FileNameOf(u"D:/games/run.v2.EXE"), u"run.v2.EXE");
    EXPECT_EQ(FolderOf(u"noext"), u"");
    EXPECT_EQ(FileNameOf(u"C:\\dir\\"), u"");
}

TEST(CaseFolding, AsciiAndLatinLetters) {
    EXPECT_TRUE(EqualsNoCase(u"GAME.EXE", u"game.exe"));
    EXPECT_TRUE(EqualsNoCase(u"\u00c4rger", u"\u00e4RGER"));
    EXPECT_FALSE(EqualsNoCase(u"\u00f7", u"\u00d7")); // division and multiplication signs
    EXPECT_FALSE(EqualsNoCase(u"a", u"ab"));
}

} // namespace
} // namespace orv
