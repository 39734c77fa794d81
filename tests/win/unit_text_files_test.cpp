// The text decoding on the real Windows backends: the platform's code-page
// conversion, and loading real files through the Windows file services.
#include "../host/text_codepage_cases.h"
#include "base/wstr.h"
#include "platform/win32/win32_platform.h"
#include "text/lang_strings.h"
#include "text/xml_doc.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace orv {
namespace {

class WinTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        m_folder = FormatW(u"%sorv-text-%u\\", reinterpret_cast<const char16_t*>(temp),
                           static_cast<unsigned>(GetCurrentProcessId()));
        Files().MakeDirectory(m_folder);
    }
    void TearDown() override {
        for (const std::u16string& path : m_written)
            DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str()));
        RemoveDirectoryW(reinterpret_cast<const wchar_t*>(m_folder.c_str()));
    }
    std::u16string Write(const std::u16string& name, const std::string& bytes) {
        std::u16string path = m_folder + name;
        EXPECT_TRUE(Files().ReplaceContent(path, bytes));
        m_written.push_back(path);
        return path;
    }

    std::u16string m_folder;
    std::vector<std::u16string> m_written;
};

TEST_F(WinTextTest, PlatformCodePagesAgreeWithTheHost) {
    for (const auto& c : testcases::kCodePageCases) {
        const int count = static_cast<int>(c.bytes.size());
        const int n = CodePages().ToWide(c.codePage, c.bytes.data(), count, nullptr, 0);
        std::u16string out(n, u'\0');
        EXPECT_EQ(CodePages().ToWide(c.codePage, c.bytes.data(), count, out.data(), n), n);
        EXPECT_EQ(ToUtf8(out), ToUtf8(c.text)) << c.codePage;
    }
    for (const auto& c : testcases::kFromWideCases) {
        std::string out;
        EXPECT_EQ(CodePages().FromWide(c.codePage, c.text, out), c.bytes.has_value())
            << c.codePage << " " << ToUtf8(c.text);
        if (c.bytes) {
            EXPECT_EQ(out, *c.bytes) << c.codePage;
        }
    }
}

TEST_F(WinTextTest, LoadsRealFilesInEachEncoding) {
    const std::u16string xml = u"<Strings><TRAYICON><LOADING>caf\u00e9 &amp; \u20ac</LOADING>"
                               u"</TRAYICON></Strings>";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : xml) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    struct Case {
        const char16_t* name;
        std::string bytes;
        const char16_t* reportStart;
    } cases[] = {
        {u"utf8.xml", "\xEF\xBB\xBF" + ToUtf8(xml), u"UTF-8 BOM + "},
        {u"utf16le.xml", le, u"UTF-16LE BOM + "},
        {u"utf16be.xml", be, u"UTF-16BE BOM + "},
        {u"ansi.xml",
         "<?xml version='1.0' encoding='windows-1252'?><Strings><TRAYICON><LOADING>caf\xE9 "
         "&amp; \x80</LOADING></TRAYICON></Strings>",
         u"windows-1252 length"},
    };
    for (const Case& c : cases) {
        CXmlDoc doc;
        doc.LoadFile(Write(c.name, c.bytes));
        EXPECT_EQ(ToUtf8(GetLangString(doc, u"TRAYICON", u"LOADING")), "caf\xC3\xA9 & \xE2\x82\xAC")
            << ToUtf8(c.name);
        EXPECT_EQ(doc.Report().rfind(c.reportStart, 0), 0u) << ToUtf8(doc.Report());
    }
}

TEST_F(WinTextTest, MissingFileReportsTheSystemText) {
    CXmlDoc doc;
    doc.LoadFile(Write(u"ok.xml", "<r><TRAYICON><LOADING>x</LOADING></TRAYICON></r>"));
    ASSERT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"x");
    doc.LoadFile(m_folder + u"missing.xml");
    EXPECT_EQ(doc.Text(), u"");
    EXPECT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"");
    // One line of the platform's own message for "file not found".
    EXPECT_FALSE(doc.Report().empty());
    EXPECT_EQ(doc.Report().find_first_of(u"\r\n"), std::u16string::npos);
    EXPECT_LE(doc.Report().size(), 100u);
}

} // namespace
} // namespace orv
