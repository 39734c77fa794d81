// Reading text files: encoding detection, decoding, the load report, and
// what a failed load leaves behind.
#include "base/wstr.h"
#include "platform/host/host_platform.h"
#include "text/lang_strings.h"
#include "text/text_file.h"
#include "text/xml_doc.h"
#include "text_codepage_cases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace orv {
namespace {

std::string Narrow(const std::u16string& s) {
    return ToUtf8(s);
}

std::string Utf16(const std::u16string& s, bool bigEndian = false) {
    std::string out;
    for (char16_t c : s) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

std::string Utf32(const std::u32string& s, bool bigEndian = false) {
    std::string out;
    for (char32_t c : s)
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(c >> (8 * (bigEndian ? 3 - i : i)));
    return out;
}

class TextFileTest : public ::testing::Test {
protected:
    std::u16string Write(const std::string& bytes, std::u16string name = u"t.xml") {
        std::u16string path = u"C:\\texts\\" + name;
        std::string hostPath = host.files->HostPath(path);
        std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
        std::ofstream(hostPath, std::ios::binary) << bytes;
        return path;
    }

    host::HostPlatform host;
};

TEST_F(TextFileTest, EncodingsAndReports) {
    const std::u16string cafe = u"<r>caf\u00e9</r>";
    const std::u16string fffd10(10, u'\ufffd');
    struct Case {
        const char* what;
        std::string bytes;
        std::u16string text;
        std::u16string report;
        int flags;
    } cases[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF<r>caf\xC3\xA9</r>", cafe,
         u"UTF-8 BOM + length 12 to 11 wide chars ", kXmlUtf8Bom},
        {"UTF-16LE with mark", "\xFF\xFE" + Utf16(cafe), cafe, u"UTF-16LE BOM + length 11 ",
         kXmlUtf16Bom},
        {"UTF-16BE with mark", "\xFE\xFF" + Utf16(cafe, true), cafe,
         u"UTF-16BE BOM + length 11 endian swap ", kXmlUtf16BeBom},
        {"UTF-16LE with mark and an odd byte", "\xFF\xFE" + Utf16(u"<r/>") + "x", u"<r/>",
         u"UTF-16LE BOM + length 4 ", kXmlUtf16Bom},
        {"UTF-16LE without mark", Utf16(u"<r>cafe</r>"), u"<r>cafe</r>",
         u"UTF-8 length 22 (11 nulls removed) to 11 wide chars ", 0},
        {"UTF-8 found by inspection", " <r>caf\xC3\xA9</r>", u" " + cafe,
         u"UTF-8 length 13 (used UTF-8 detection) to 12 wide chars ", 0},
        {"ANSI after inspection", " <r>caf\xE9</r>", u" " + cafe,
         u"ANSI length 12 (used UTF-8 detection) to 12 wide chars ", 0},
        {"declared windows-1252", "<?xml version='1.0' encoding='windows-1252'?><r>caf\xE9</r>",
         u"<?xml version='1.0' encoding='windows-1252'?>" + cafe,
         u"windows-1252 length 56 to 56 wide chars ", 0},
        // The first attribute is taken for the tag's name: nothing is declared.
        {"encoding first", "<?xml encoding='windows-1252'?><r>caf\xE9</r>",
         u"<?xml encoding='windows-1252'?><r>caf\ufffd</r>", u"UTF-8 length 42 to 42 wide chars ",
         0},
        {"html meta",
         "<html><head><meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>"
         "<title>caf\xE9</title></head></html>",
         u"<html><head><meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>"
         u"<title>caf\u00e9</title></head></html>",
         u"windows-1252 length 119 to 119 wide chars  End tag 'head' at offset 106 does not match "
         u"start tag 'meta' at offset 12",
         0},
        {"declared UTF-16 without mark", "<?xml version='1.0' encoding='UTF-16'?><r/>", u"",
         u"UTF-16 length 43 to 0 wide chars  Empty document", 0},
        {"a code page the host lacks", "<?xml version='1.0' encoding='x-iscii-de'?><r/>", u"",
         u"x-iscii-de length 47 to 0 wide chars  Empty document", 0},
        {"declared UTF-32",
         std::string("<?xml version='1.0' encoding='UTF-32'?> ") + Utf32(U"<r>\U0001F600</r>") +
             "xy",
         fffd10 + u"<r>\U0001F600</r>", u"UTF-32 length 18 to 19 wide chars ", 0},
        {"declared UTF-32BE",
         std::string("<?xml version='1.0' encoding='UTF-32BE'?>   ") +
             Utf32(U"<r>\U0001F600</r>", true),
         fffd10 + u"\ufffd<r>\U0001F600</r>", u"UTF-32BE length 19 endian swap to 20 wide chars ",
         0},
        {"empty", "", u"", u"ANSI 0 length  Empty document", 0},
        {"mark only", "\xEF\xBB\xBF", u"", u"UTF-8 BOM + 0 length  Empty document", kXmlUtf8Bom},
    };
    for (const Case& c : cases) {
        CXmlDoc doc;
        doc.SetFlags(kXmlUtf16BeBom | kXmlIgnoreCase); // stale marks go, the case flag stays
        doc.LoadFile(Write(c.bytes));
        EXPECT_EQ(Narrow(doc.Text()), Narrow(c.text)) << c.what;
        EXPECT_EQ(Narrow(doc.Report()), Narrow(c.report)) << c.what;
        EXPECT_EQ(doc.Flags(), c.flags | kXmlIgnoreCase) << c.what;
    }
}

TEST_F(TextFileTest, AnsiFilesFollowTheSystemsCodePage) {
    host.codepages.SetAnsiCodePage(1251);
    CXmlDoc doc;
    doc.LoadFile(Write(" <r>\xC8\xE3\xF0\xFB</r>"));
    EXPECT_EQ(Narrow(doc.Text()), Narrow(u" <r>\u0418\u0433\u0440\u044B</r>"));
    EXPECT_EQ(Narrow(doc.Report()), "ANSI length 12 (used UTF-8 detection) to 12 wide chars ");
}

TEST_F(TextFileTest, ParseMessageFollowsTheLoadReport) {
    CXmlDoc doc;
    doc.LoadFile(Write("\xEF\xBB\xBF<r><a></r>"));
    EXPECT_EQ(doc.Report(), u"UTF-8 BOM + length 10 to 10 wide chars  End tag 'r' at offset 7 "
                            u"does not match start tag 'a' at offset 3");
}

TEST_F(TextFileTest, FailedLoadKeepsThePreviousTreeButFindsNothing) {
    CXmlDoc doc;
    doc.LoadFile(Write("<r><TRAYICON><LOADING>Loading</LOADING></TRAYICON></r>"));
    ASSERT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"Loading");
    const int records = doc.NextFree();
    const int flags = doc.Flags();

    for (const char16_t* path : {u"C:\\texts\\missing.xml", u"C:\\texts"}) {
        doc.LoadFile(path);
        EXPECT_EQ(doc.Text(), u"");
        EXPECT_EQ(doc.NextFree(), records); // not parsed
        EXPECT_EQ(doc.Flags(), flags);
        EXPECT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"");
        EXPECT_TRUE(doc.NextChildElem());
        EXPECT_EQ(doc.ChildText(), u"");
    }
    doc.LoadFile(u"C:\\texts\\missing.xml");
    EXPECT_EQ(Narrow(doc.Report()), "No such file or directory");
    doc.LoadFile(u"C:\\texts");
    EXPECT_EQ(Narrow(doc.Report()), "Is a directory");
}

TEST_F(TextFileTest, ReadWholeFileWithoutReportOrFlags) {
    std::u16string text = u"old";
    EXPECT_TRUE(ReadWholeFile(Write("\xFF\xFE" + Utf16(u"x")), text, nullptr, nullptr));
    EXPECT_EQ(text, u"x");
    EXPECT_FALSE(ReadWholeFile(u"C:\\texts\\missing.xml", text, nullptr, nullptr));
    EXPECT_EQ(text, u"");
}

TEST(TextDecodingTest, CharsetDeclarations) {
    struct Case {
        const char16_t* text;
        const char16_t* encoding;
    } cases[] = {
        {u"<?xml version='1.0' encoding='windows-1252'?><r/>", u"windows-1252"},
        {u"<?xml encoding='windows-1252'?>", u""},
        {u"<?XML Version='1.0' ENCODING=\"utf-8\"?>", u"utf-8"},
        {u"<?xml version='1.0'?><?xml version='1.0' encoding='a'?>", u""},
        {u" <!--c--> <?xml version='1.0' encoding='a'?>", u"a"},
        {u"<!DOCTYPE r><?xml version='1.0' encoding='a'?>", u"a"},
        {u"<r/><?xml version='1.0' encoding='a'?>", u""},
        {u"</r><?xml version='1.0' encoding='a'?>", u""},
        {u"<?pi?><?xml version='1.0' encoding='a'?>", u""}, // only the first counts
        {u"<?xml-stylesheet a='b'?>", u""},
        {u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
         u"utf-8"},
        {u"<!DOCTYPE html>\n<HTML><HEAD><META CONTENT='text/html;charset=koi8-r' "
         u"HTTP-EQUIV='content-type'>",
         u"koi8-r"},
        {u"<html><meta http-equiv='Content-Type' content='text/html; charset = utf-8'>", u"utf-8"},
        {u"<html><meta http-equiv='Content-Type' content='text/html'>"
         u"<meta http-equiv='Content-Type' content='text/html; charset=utf-8'>",
         u""},
        {u"<html><meta name='x' content='charset=utf-8'>"
         u"<meta http-equiv='Content-Type' content='charset=koi8-r'>",
         u"koi8-r"},
        {u"<html><meta http-equiv='Refresh' content='charset=utf-8'>", u""},
        {u"<html><meta http-equiv='Content-Type' content='charset='>x", u""},
        {u"<html><head></head><meta http-equiv='Content-Type' content='charset=utf-8'>", u""},
        {u"<body><meta http-equiv='Content-Type' content='charset=utf-8'>", u""},
        {u"<html><!x><meta http-equiv='Content-Type' content='charset=utf-8'>", u""},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(FindCharsetDeclaration(c.text)), Narrow(c.encoding)) << Narrow(c.text);
}

TEST(TextDecodingTest, Utf8Inspection) {
    struct Case {
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"abc", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"\xC0\x80\x80\x80\xC3\xC3", true}, // only the announcing bits are tested
        {std::string("ab\0\xFF", 4), true}, // the scan ends at a zero byte
        {"caf\xE9", false},                 // cut off by the end
        {"\xE9 x", false},
        {"\xC3", false},
        {"\xF8\x80\x80\x80\x80", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            LooksLikeUtf8(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()),
            c.utf8)
            << c.bytes;
}

TEST(TextDecodingTest, CodePagesOfNames) {
    struct Case {
        std::u16string name;
        int codePage;
    } cases[] = {
        {u"", 0},
        {u"UTF-32", kCodePageUtf32},
        {u"UTF-32BE", kCodePageUtf32},
        {u"UTF-32" + std::u16string(200, u'x'), kCodePageUtf32},
        {u"utf-32", -1},
        {u"UTF-8", 65001},
        {u"Windows-1252", 1252},
        {u"X-ANSI", 1252},
        {u"iso_8859-1:1987", 28591},
        {u"_iso-2022-jp$sio", 50222},
        {u"KS_C_5601-1987", 949},
        {u"utf-16", kCodePageUtf16},
        {u"unicodeFFFE", 1201},
        {u"UTF-16LE", -1},
        {u"utf8", -1},
        {u"windows-1252 ", -1},
        {u"WINDOWS-1252" + std::u16string(90, u' '), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageFromName(c.name), c.codePage) << Narrow(c.name);
}

TEST(TextDecodingTest, Utf32AndUtf16Conversions) {
    host::HostPlatform host;
    const std::uint32_t values[] = {0x41, 0x1F600, 0x110000};
    CONVERSION conversion;
    conversion.target = u"UTF-16";
    conversion.source = u"UTF-32";
    conversion.data = values;
    conversion.sourceCount = 3;
    ASSERT_EQ(ConvertText(conversion, nullptr), 4);
    EXPECT_EQ(conversion.unmapped, 1);
    std::u16string out(4, u'\0');
    conversion.resultCount = 4;
    EXPECT_EQ(ConvertText(conversion, out.data()), 4);
    EXPECT_EQ(out, u"A\U0001F600\ufffd");

    conversion.source = u"unicode"; // declared UTF-16 cannot be converted
    EXPECT_EQ(ConvertText(conversion, nullptr), 0);
    EXPECT_EQ(conversion.unmapped, 0);
    conversion.target = u"UTF-8"; // only UTF-16 is a target
    conversion.source = u"UTF-32";
    EXPECT_EQ(ConvertText(conversion, nullptr), 0);
}

TEST(TextDecodingTest, HostCodePages) {
    host::HostPlatform host;
    for (const auto& c : testcases::kCodePageCases) {
        const int count = static_cast<int>(c.bytes.size());
        const int n = CodePages().ToWide(c.codePage, c.bytes.data(), count, nullptr, 0);
        std::u16string out(n, u'\0');
        EXPECT_EQ(CodePages().ToWide(c.codePage, c.bytes.data(), count, out.data(), n), n);
        EXPECT_EQ(Narrow(out), Narrow(c.text)) << c.codePage;
        if (n > 1) {
            EXPECT_EQ(CodePages().ToWide(c.codePage, c.bytes.data(), count, out.data(), n - 1), 0)
                << "output that does not fit";
        }
    }
    for (const auto& c : testcases::kFromWideCases) {
        std::string out = "stale";
        EXPECT_EQ(CodePages().FromWide(c.codePage, c.text, out), c.bytes.has_value())
            << c.codePage << " " << Narrow(c.text);
        if (c.bytes) {
            EXPECT_EQ(out, *c.bytes) << c.codePage;
        }
    }
    // The system's ANSI code page is windows-1252 unless the host is told
    // otherwise; unknown pages give nothing.
    char16_t unit = 0;
    EXPECT_EQ(CodePages().ToWide(0, "\x80", 1, &unit, 1), 1);
    EXPECT_EQ(unit, u'\u20ac');
    host.codepages.SetAnsiCodePage(1251);
    EXPECT_EQ(CodePages().ToWide(0, "\x80", 1, &unit, 1), 1);
    EXPECT_EQ(unit, u'\u0402');
    std::string bytes;
    EXPECT_TRUE(CodePages().FromWide(0, u"\u0402", bytes));
    EXPECT_EQ(bytes, "\x80");
    EXPECT_EQ(CodePages().ToWide(57002, "a", 1, &unit, 1), 0);
    EXPECT_EQ(CodePages().ToWide(1200, "a", 1, &unit, 1), 0);
    EXPECT_FALSE(CodePages().FromWide(57002, u"a", bytes));
    // Invalid UTF-8 and a sequence cut off at the end become replacement characters.
    std::u16string out(8, u'\0');
    out.resize(CodePages().ToWide(65001,
                                  "a\xFF"
                                  "b\xE2\x82",
                                  5, out.data(), 8));
    EXPECT_EQ(out, u"a\ufffdb\ufffd");
}

} // namespace
} // namespace orv
