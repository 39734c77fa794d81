// The INI text engine: how values are found and read, how edits change the
// text, and which encodings survive. The reading cases were checked against
// the platform's INI functions.
#include "storage/ini_text.h"

#include "storage_test_support.h"

#include <cstdint>
#include <string>

namespace orv::ini {
namespace {

using orv::testing::Utf16File;

std::string Utf16BeFile(std::u16string_view text) {
    std::string bytes = "\xFE\xFF";
    for (char16_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

std::u16string Read(const Document& doc, std::u16string_view section, std::u16string_view key) {
    auto value = doc.Find(section, key);
    return value ? std::u16string(StripQuotes(*value)) : u"<default>";
}

std::u16string TextOf(const Document& doc) {
    Document copy = doc;
    std::string bytes = copy.Serialize();
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

TEST(IniRead, FindsValuesAsThePlatformReaderDoes) {
    const std::u16string file = u"  top = before\r\n"
                                u"[Sec]\r\n"
                                u"  key1  =  value with spaces  \r\n"
                                u"key2=\tvalue\v\x1A\r\n"
                                u"key3=\"quoted\"\r\n"
                                u"key4='q'\r\n"
                                u"key5=\"unbalanced\r\n"
                                u"key6=\"a\" b \"\r\n"
                                u";comment=x\r\n"
                                u"novalue\r\n"
                                u"empty =\r\n"
                                u"dup=first\r\n"
                                u"DUP=second\r\n"
                                u"eq=a=b\r\n"
                                u"nbsp=x\u00A0\r\n"
                                u"ctl=x\x1C\r\n"
                                u"nul=a" +
                                std::u16string(1, u'\0') +
                                u"b\r\n"
                                u"\r\n"
                                u"[ Spaced ]\r\nk=2\r\n"
                                u"[Open\r\nk=3\r\n"
                                u"[Trailing] text\r\nk=4\r\n"
                                u"[Dup]\r\na=1\r\n[dup]\r\na=2\r\nb=3\r\n"
                                u"[LF]\nk1=lf1\nk2=lf2\rk3=cr\r\n"
                                u" [Indented]\r\nk=ind\r\n"
                                u"[x]]\r\nk=xx\r\n"
                                u"[Last]\r\nk=no newline";
    Document doc = Document::Parse(Utf16File(file));
    struct Case {
        const char16_t* section;
        const char16_t* key;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"", u"top", u"before"},
        {u"Sec", u"key1", u"value with spaces"},
        {u"SEC", u"KEY1", u"value with spaces"},
        {u" Sec", u"key1 ", u"value with spaces"},
        {u"Sec", u"key2", u"value"},
        {u"Sec", u"key3", u"quoted"},
        {u"Sec", u"key4", u"q"},
        {u"Sec", u"key5", u"\"unbalanced"},
        {u"Sec", u"key6", u"a\" b "},
        {u"Sec", u";comment", u"x"},
        {u"Sec", u"novalue", u"<default>"},
        {u"Sec", u"empty", u""},
        {u"Sec", u"dup", u"first"},
        {u"Sec", u"eq", u"a=b"},
        {u"Sec", u"nbsp", u"x\u00A0"},
        {u"Sec", u"ctl", u"x\x1C"},
        {u"Sec", u"nul", u"a"},
        {u"Sec", u"missing", u"<default>"},
        {u"Spaced", u"k", u"2"},
        {u"Open", u"k", u"<default>"},
        {u"Trailing", u"k", u"4"},
        {u"Dup", u"a", u"1"},
        {u"Dup", u"b", u"<default>"}, // only the first of two equal sections counts
        {u"LF", u"k1", u"lf1"},
        {u"LF", u"k2", u"lf2"},
        {u"LF", u"k3", u"cr"},
        {u"Indented", u"k", u"ind"},
        {u"x]", u"k", u"xx"},
        {u"x", u"k", u"<default>"},
        {u"Last", u"k", u"no newline"},
        {u"Nowhere", u"k", u"<default>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(doc, c.section, c.key), c.expected)
            << ToUtf8(c.section) << "/" << ToUtf8(c.key);
}

TEST(IniRead, IntegersFollowThePlatformReader) {
    struct Case {
        const char16_t* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {u"12", 12},
        {u"+5", 5},
        {u"-7", -7},
        {u"0x10", 16},
        {u"-0x10", -16},
        {u"0X1f", 0},
        {u"0b101", 5},
        {u"0o17", 15},
        {u"010", 10},
        {u"12abc", 12},
        {u"abc", 0},
        {u"- 3", 0},
        {u" 5", 5},
        {u"1 2", 1},
        {u"4294967295", -1},
        {u"2147483648", -2147483647 - 1},
        {u"-2147483649", 2147483647},
        {u"99999999999", 1215752191},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInteger(c.text), c.expected) << ToUtf8(c.text);
}

TEST(IniStruct, WritesUpperCaseHexWithTheLowByteOfTheSum) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x10};
    EXPECT_EQ(EncodeStruct(bytes, 3), u"0AFF1019");
    const unsigned char many[200] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(EncodeStruct(many, 200).substr(400), u"FD"); // 3 * 255 = 0x2FD
}

TEST(IniStruct, AcceptsOnlyExactWellFormedValues) {
    struct Case {
        const char16_t* value;
        bool accepted;
    };
    // Bytes 01 02 03 04: sum 0x0A.
    const Case cases[] = {
        {u"010203040A", true},      {u"010203040a", true},   {u"0a0B03040A", false},
        {u"0102030409", false},     {u"010203040A0", false}, {u"010203040A00", false},
        {u"0102030A", false},       {u"0102030G0A", false},  {u"", false},
        {u"\"010203040A\"", false}, {u" 010203040A", false},
    };
    for (const Case& c : cases) {
        unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(DecodeStruct(c.value, out, 4), c.accepted) << ToUtf8(c.value);
        if (c.accepted) {
            EXPECT_EQ(out[0], 1);
            EXPECT_EQ(out[3], 4);
        } else {
            EXPECT_EQ(out[0], 0xEE) << "a rejected value must leave the record alone";
            EXPECT_EQ(out[3], 0xEE);
        }
    }
    unsigned char upper[2] = {};
    EXPECT_TRUE(DecodeStruct(u"0a0B15", upper, 2));
    EXPECT_EQ(upper[1], 0x0B);
}

TEST(IniEdit, ChangesOnlyTheLinesItMustAndKeepsEverythingElse) {
    Document doc = Document::Parse(Utf16File(u"; head comment\r\n"
                                             u"[A]\r\n"
                                             u"  x = 1 \r\n"
                                             u"\r\n"
                                             u"; about B\r\n"
                                             u"[B]\r\n"
                                             u"y=2\n"
                                             u"Other=keep\r\n"));
    EXPECT_TRUE(doc.Set(u"A", u"new", u"v"));
    EXPECT_TRUE(doc.Set(u"a", u"X", u"9"));
    EXPECT_FALSE(doc.Set(u"B", u"Y", u"2")); // same value: nothing to do
    EXPECT_TRUE(doc.Set(u"C", u"z", u"3"));
    EXPECT_TRUE(doc.Set(u"B", u"w", u"  spaced  "));
    EXPECT_EQ(TextOf(doc), u"; head comment\r\n"
                           u"[A]\r\n"
                           u"x=9\r\n"
                           u"new=v\r\n"
                           u"\r\n"
                           u"; about B\r\n"
                           u"[B]\r\n"
                           u"y=2\n"
                           u"Other=keep\r\n"
                           u"w=  spaced  \r\n"
                           u"[C]\r\n"
                           u"z=3\r\n");
    EXPECT_EQ(Read(doc, u"B", u"w"), u"spaced");
}

TEST(IniEdit, NewLinesAfterALastLineWithoutBreakAndInEmptySections) {
    Document doc = Document::Parse(Utf16File(u"[A]\r\n; only a comment\r\n\r\n[B]\r\nx=1"));
    doc.Set(u"B", u"y", u"2");
    doc.Set(u"A", u"k", u"v");
    EXPECT_EQ(TextOf(doc), u"[A]\r\nk=v\r\n; only a comment\r\n\r\n[B]\r\nx=1\r\ny=2\r\n");

    Document empty = Document::Parse("");
    empty.Set(u"S", u"k", u"v");
    EXPECT_EQ(empty.Serialize(), Utf16File(u"[S]\r\nk=v\r\n"));
}

TEST(IniEdit, AValueNeverAddsLinesOfItsOwn) {
    Document doc = Document::Parse(Utf16File(u"[Setting]\r\nProfile=1\r\n"));
    doc.Set(u"Setting", u"FWVersion", u"15\r\n[Setting]\r\nProfile=3");
    doc.Set(u"Setting", u"Other", std::u16string(u"a\0b", 3));
    doc.Set(u"Setting", u"Lf", u"x\ny");
    EXPECT_EQ(TextOf(doc), u"[Setting]\r\nProfile=1\r\nFWVersion=15\r\nOther=a\r\nLf=x\r\n");
}

// 8-bit files are text in the system's ANSI code page, which the host
// platform plays: 1252 unless a test sets another.
class IniAnsi : public ::testing::Test {
protected:
    host::HostPlatform host;
};

TEST_F(IniAnsi, ParseThenSerializeGivesBackTheSameBytes) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::string files[] = {
        Utf16File(u"[A]\r\nx=1\ny=2\rz=3\r\n\r\n;c\r\nlast"),
        Utf16File(u"\r\n\r\n"),
        Utf16File(std::u16string(u"[A]\r\nn=a\0b\r\n", 12)),
        "[A]\r\nx=1\r\n" + everyByte,
        "\xEF\xBB\xBF[A]\r\nx=caf\xC3\xA9\r\n",
        Utf16BeFile(u"[A]\r\nx=b"),
    };
    for (const std::string& bytes : files)
        EXPECT_EQ(Document::Parse(bytes).Serialize(), bytes);
}

TEST_F(IniAnsi, EightBitFilesReadInTheWesternCodePageByDefault) {
    Document doc = Document::Parse("[A]\r\nx=caf\xE9\x80\x81\r\n");
    EXPECT_EQ(doc.encoding(), Encoding::Ansi);
    EXPECT_EQ(Read(doc, u"A", u"x"), u"caf\u00E9\u20AC\u0081");

    // A write that fits keeps the file 8-bit, byte for byte where untouched.
    doc.Set(u"A", u"y", u"\u201Cok\u201D");
    EXPECT_EQ(doc.Serialize(), "[A]\r\nx=caf\xE9\x80\x81\r\ny=\x93ok\x94\r\n");

    // One that does not fit turns the file into UTF-16LE rather than losing it.
    doc.Set(u"A", u"z", u"\u0416");
    std::string bytes = doc.Serialize();
    EXPECT_EQ(bytes,
              Utf16File(u"[A]\r\nx=caf\u00E9\u20AC\u0081\r\ny=\u201Cok\u201D\r\nz=\u0416\r\n"));
    EXPECT_EQ(Read(Document::Parse(bytes), u"A", u"x"), u"caf\u00E9\u20AC\u0081");
}

// What the configuration program's INI functions write on a Russian, Japanese,
// Chinese or Korean system reads as the same names, and the service's writes
// keep the file in that code page while everything fits.
TEST_F(IniAnsi, NamesInTheSystemsCodePage) {
    const struct {
        std::uint32_t codePage;
        std::string bytes;
        std::u16string name;
    } cases[] = {
        {1251, "\xC8\xE3\xF0\xFB", u"\u0418\u0433\u0440\u044B"},
        {932, "\x83\x51\x81\x5B\x83\x80", u"\u30B2\u30FC\u30E0"}, // a trail byte '['
        {936, "\xD3\xCE\xCF\xB7", u"\u6E38\u620F"},
        {949, "\xB0\xD4\xC0\xD3", u"\uAC8C\uC784"},
        {950, "\xB9\x43\xC0\xB8", u"\u904A\u6232"},
        {1252, "Caf\xE9", u"Caf\u00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        host.codepages.SetAnsiCodePage(c.codePage);
        const std::string file = "[MyXlistIconInfo1]\r\nProfileName=" + c.bytes + "\r\n";
        Document doc = Document::Parse(file);
        EXPECT_EQ(Read(doc, u"MyXlistIconInfo1", u"ProfileName"), c.name);

        doc.Set(u"MyXlistIconInfo1", u"ProfileColor", u"3");
        doc.Set(u"GROUP", u"CurrentProfileName", c.name);
        const std::string kept =
            file + "ProfileColor=3\r\n[GROUP]\r\nCurrentProfileName=" + c.bytes + "\r\n";
        EXPECT_EQ(doc.Serialize(), kept);

        // No system code page has this one.
        doc.Set(u"GROUP", u"Other", u"\U0001F600");
        Document reread = Document::Parse(doc.Serialize());
        EXPECT_EQ(reread.encoding(), Encoding::Utf16Le);
        EXPECT_EQ(Read(reread, u"MyXlistIconInfo1", u"ProfileName"), c.name);
        EXPECT_EQ(Read(reread, u"GROUP", u"CurrentProfileName"), c.name);
        EXPECT_EQ(Read(reread, u"GROUP", u"Other"), u"\U0001F600");
    }
}

// Bytes the code page leaves undefined, broken double-byte pairs and lone
// lead bytes have no character to be written back as: the lines holding them
// go out as they came in, whatever else is written.
TEST_F(IniAnsi, EveryByteSurvivesAReadAndAWrite) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const struct {
        std::uint32_t codePage;
        std::string bytes;
    } cases[] = {
        {1252, "\x81\x8D\x8F\x90\x9D"},
        {1251, "\x98"},
        {932, "\x82"},             // a lead byte at the end of the line
        {932, "\x82\x20\x81\x7F"}, // lead bytes with no trail byte after them
        {932, "\xA0\xFD\xFE\xFF"},
        {936, "\x81\x20\xFF\x81"},
        {949, "\x80\xC9\x20\xFF\x81"},
        {950, "\x80\xA1\x30\xFF\xA1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        host.codepages.SetAnsiCodePage(c.codePage);
        for (const std::string& odd : {c.bytes, everyByte}) {
            const std::string file = "[A]\r\nx=1\r\nodd=" + odd + "\r\n[B]\r\n";
            Document doc = Document::Parse(file);
            EXPECT_EQ(doc.Serialize(), file);
            doc.Set(u"A", u"x", u"2");
            doc.Set(u"B", u"y", u"3");
            EXPECT_EQ(doc.Serialize(), "[A]\r\nx=2\r\nodd=" + odd + "\r\n[B]\r\ny=3\r\n");
        }
    }
}

// A double-byte character whose second byte is ']' closes no section.
TEST_F(IniAnsi, TrailBytesAreNoMarkup) {
    host.codepages.SetAnsiCodePage(932);
    Document doc = Document::Parse("[A]\r\n[\x83\x5D\r\nk=1\r\n[\x83\x5D]\r\nk=2\r\n");
    EXPECT_EQ(Read(doc, u"A", u"k"), u"1");
    EXPECT_EQ(Read(doc, u"\u30BE", u"k"), u"2");
}

TEST_F(IniAnsi, MarkedFilesKeepTheirEncoding) {
    Document utf8 = Document::Parse("\xEF\xBB\xBF[A]\r\nx=caf\xC3\xA9\r\n");
    EXPECT_EQ(Read(utf8, u"a", u"X"), u"caf\u00E9");
    utf8.Set(u"A", u"y", u"\u0416");
    EXPECT_EQ(utf8.Serialize(), "\xEF\xBB\xBF[A]\r\nx=caf\xC3\xA9\r\ny=\xD0\x96\r\n");

    Document be = Document::Parse(Utf16BeFile(u"[A]\r\nx=b"));
    EXPECT_EQ(Read(be, u"A", u"x"), u"b");
    be.Set(u"A", u"y", u"\u0416");
    EXPECT_EQ(be.Serialize(), Utf16BeFile(u"[A]\r\nx=b\r\ny=\u0416\r\n"));

    // Half a surrogate pair has no UTF-8 form: the file turns UTF-16LE.
    utf8.Set(u"A", u"z", std::u16string(1, char16_t(0xD800)));
    Document reread = Document::Parse(utf8.Serialize());
    EXPECT_EQ(reread.encoding(), Encoding::Utf16Le);
    EXPECT_EQ(Read(reread, u"A", u"z"), std::u16string(1, char16_t(0xD800)));
    EXPECT_EQ(Read(reread, u"A", u"x"), u"caf\u00E9");

    // A file of no bytes has nothing to keep: it becomes the service's format.
    Document none = Document::Parse("");
    none.Set(u"A", u"x", u"1");
    EXPECT_EQ(none.Serialize(), Utf16File(u"[A]\r\nx=1\r\n"));
}

} // namespace
} // namespace orv::ini
