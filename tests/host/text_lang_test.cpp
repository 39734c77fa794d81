// Looking texts up in the language file.
#include "base/wstr.h"
#include "platform/host/host_platform.h"
#include "text/lang_strings.h"
#include "text/xml_doc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orv {
namespace {

TEST(LangStringTest, SearchOrder) {
    struct Case {
        const char16_t* xml;
        const char16_t* text;
    } cases[] = {
        {u"<root><TRAYICON><LOADING>Loading &amp; saving</LOADING></TRAYICON></root>",
         u"Loading & saving"},
        {u"<root><A/><TRAYICON><X/><LOADING>first</LOADING><LOADING>second</LOADING></TRAYICON>"
         u"</root>",
         u"first"},
        // Later sibling sections are never searched...
        {u"<root><TRAYICON><OTHER/></TRAYICON><TRAYICON><LOADING>x</LOADING></TRAYICON></root>",
         u""},
        // ...but a section nested in the first one is.
        {u"<root><TRAYICON><TRAYICON><LOADING>nested</LOADING></TRAYICON></TRAYICON></root>",
         u"nested"},
        {u"<root><TRAYICON><X><LOADING>deep</LOADING></X></TRAYICON></root>", u""},
        {u"<root><trayicon><LOADING>x</LOADING></trayicon></root>", u""},
        {u"<root><TRAYICON><loading>x</loading></TRAYICON></root>", u""},
        {u"<TRAYICON><LOADING>x</LOADING></TRAYICON>", u""}, // the root's own name plays no part
        {u"<root><TRAYICON><LOADING><![CDATA[a &amp; <b>]]></LOADING></TRAYICON></root>",
         u"a &amp; <b>"},
        {u"<root><TRAYICON><LOADING>a<b/></LOADING></TRAYICON></root>", u""},
        {u"<root><!x><TRAYICON><LOADING>despite</LOADING></TRAYICON></root>", u"despite"},
        {u"<root><TRAYICON><LOADING/></TRAYICON></root>", u""},
        {u"", u""},
    };
    for (const Case& c : cases) {
        CXmlDoc doc;
        doc.SetText(c.xml);
        doc.BuildTree();
        EXPECT_EQ(ToUtf8(GetLangString(doc, u"TRAYICON", u"LOADING")), ToUtf8(c.text))
            << ToUtf8(c.xml);
        // A second lookup starts from the top again.
        EXPECT_EQ(ToUtf8(GetLangString(doc, u"TRAYICON", u"LOADING")), ToUtf8(c.text));
    }
}

TEST(LangStringTest, FromTheFileBesideTheExecutable) {
    host::HostPlatform host;
    const std::u16string path = FormatW(u"%sStrings.xml", FolderOf(host.kernel.modulePath).c_str());
    CXmlDoc doc;
    doc.LoadFile(path);
    EXPECT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"");

    const std::u16string xml = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Strings>\r\n"
                               u"<TRAYICON><LOADING>\u00c9criture&#x2026;</LOADING></TRAYICON>"
                               u"</Strings>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : xml) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    std::ofstream(host.files->HostPath(path), std::ios::binary) << bytes;
    doc.LoadFile(path);
    EXPECT_EQ(GetLangString(doc, u"TRAYICON", u"LOADING"), u"\u00c9criture\u2026");
}

} // namespace
} // namespace orv
