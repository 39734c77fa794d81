// The XML reader: scanner, tree building with its recovery and reports,
// navigation, element text and character references.
#include "base/wstr.h"
#include "text/xml_doc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orv {
namespace {

std::string Narrow(const std::u16string& s) {
    return ToUtf8(s);
}

// The element's name as written in its start tag.
std::u16string NameOf(const CXmlDoc& doc, int i) {
    const std::u16string& t = doc.Text();
    std::size_t from = doc.Record(i).start + 1;
    std::size_t to = t.find_first_of(u" \t\r\n/>", from);
    return t.substr(from, to - from);
}

// The tree as "r(a,b(c))", checking the links on the way.
std::string Shape(const CXmlDoc& doc, int parent = 0) {
    std::string out;
    const int first = doc.Record(parent).firstChild;
    int previous = 0;
    for (int i = first; i != 0; i = doc.Record(i).next) {
        EXPECT_EQ(doc.Record(i).parent, parent);
        if (previous != 0) {
            EXPECT_EQ(doc.Record(i).previous, previous);
        }
        if (!out.empty())
            out += ',';
        out += Narrow(NameOf(doc, i));
        if (doc.Record(i).firstChild != 0)
            out += "(" + Shape(doc, i) + ")";
        previous = i;
    }
    if (first != 0) {
        EXPECT_EQ(doc.Record(first).previous, previous) << "first child's previous is the last";
    }
    return out;
}

std::unique_ptr<CXmlDoc> Parse(std::u16string text, bool* ok = nullptr, int flags = 0) {
    auto doc = std::make_unique<CXmlDoc>();
    doc->SetFlags(flags);
    doc->SetText(std::move(text));
    bool result = doc->BuildTree();
    if (ok != nullptr)
        *ok = result;
    return doc;
}

// ---------------------------------------------------------------- scanner

TEST(XmlScanTest, NodeTypesAndExtents) {
    struct Case {
        const char16_t* text;
        int type;
        int length;
    } cases[] = {
        {u"", kNodeEnd, 0},
        {u"abc<", kNodeText, 3},
        {u"a>b<", kNodeText, 2}, // a '>' ends text and belongs to it
        {u" \t\r\n<", kNodeWhitespace, 4},
        {u"  ", kNodeWhitespace, 2},
        {u"  x<", kNodeText, 3},
        {u"<a b='>'>", kNodeElement, 9},
        {u"<a b=x'>'", kNodeElement, 8}, // quotes are ordinary in an unquoted value
        {u"<a 'b>'>", kNodeElement, 6},  // a quote opens a value only after '='
        {u"<a b = \"x>\">", kNodeElement, 12},
        {u"</a >", kNodeEndTag, 5},
        {u"<?pi a?>", kNodeProcessing, 8},
        {u"<?>?>", kNodeProcessing, 3}, // the opener's '?' completes "?>"
        {u"<!---->", kNodeComment, 7},
        {u"<!-->-->", kNodeComment, 5}, // and its "--" completes "-->"
        {u"<![CDATA[]]>", kNodeCData, 12},
        {u"<![CDATA[a>]]>", kNodeCData, 14},
        {u"<!DOCTYPE r [<!ENTITY a '>'>]>x", kNodeDoctype, 30},
        {u"<!ELEMENT a (b)>", kNodeDoctype, 16},
        {u"< a>", kNodeMalformed, 4},
        {u"<<a>", kNodeMalformed, 1}, // runs to just before the next '<'
    };
    for (const Case& c : cases) {
        SCAN_CURSOR cursor;
        cursor.text = c.text;
        SCAN_NODE node;
        EXPECT_EQ(ScanNode(cursor, node), c.type) << Narrow(c.text);
        EXPECT_EQ(node.length, c.length) << Narrow(c.text);
        EXPECT_EQ(cursor.next, c.length) << Narrow(c.text);
    }
}

TEST(XmlScanTest, EmptyElementTags) {
    struct Case {
        const char16_t* text;
        bool empty;
    } cases[] = {
        {u"<a/>", true},      {u"<a />", true},     {u"<a b='1'/>", true}, {u"<a b=\"1\"/>", true},
        {u"<a b=1 />", true}, {u"<a b=1/>", false}, {u"<a b/>", false},    {u"<a b=/>", false},
    };
    for (const Case& c : cases) {
        SCAN_CURSOR cursor;
        cursor.text = c.text;
        SCAN_NODE node;
        ASSERT_EQ(ScanNode(cursor, node), kNodeElement) << Narrow(c.text);
        EXPECT_EQ(node.name, u"a");
        EXPECT_EQ((node.flags & kNodeEmptyElement) != 0, c.empty) << Narrow(c.text);
    }
}

TEST(XmlScanTest, NamesAndTheirMatching) {
    struct NameCase {
        const char16_t* text;
        bool found;
        const char16_t* token;
        int next;
    } names[] = {
        {u"  name=1", true, u"name", 6}, {u"=x", true, u"=", 1},  {u"a;b", true, u"a", 1},
        {u"x-y.z\\", true, u"x-y.z", 5}, {u" \t", false, u"", 2},
    };
    for (const NameCase& c : names) {
        SCAN_CURSOR cursor;
        cursor.text = c.text;
        EXPECT_EQ(ScanName(cursor), c.found) << Narrow(c.text);
        EXPECT_EQ(CursorText(cursor), c.token) << Narrow(c.text);
        EXPECT_EQ(cursor.next, c.next) << Narrow(c.text);
    }

    struct MatchCase {
        const char16_t* token;
        const char16_t* name;
        int flags;
        bool matches;
    } matches[] = {
        {u"TRAYICON", u"TRAYICON", 0, true},
        {u"TRAYICON", u"TRAYICON more", 0, true},
        {u"TRAYICON", u"TRAYICONS", 0, false},
        {u"TRAYICONS", u"TRAYICON", 0, false},
        {u"trayicon", u"TRAYICON", 0, false},
        {u"trayicon", u"TRAYICON", kXmlIgnoreCase, true},
        {u"a", u"a=b", 0, true},
        {u"a", u"a[", 0, true},
        {u"a", u"a/", 0, true},
        {u"a", u"a-", 0, false},
        {u"a\u00e9", u"A\u00e9", kXmlIgnoreCase, true},
        // Case folding ends at the first equal pair at or above 0x80.
        {u"\u00e9a", u"\u00e9A", kXmlIgnoreCase, false},
        {u"[@", u"{`", kXmlIgnoreCase, false}, // only letters fold
    };
    for (const MatchCase& c : matches) {
        std::u16string text = c.token;
        SCAN_CURSOR cursor;
        cursor.text = text.c_str();
        cursor.left = 0;
        cursor.right = static_cast<int>(text.size()) - 1;
        cursor.flags = c.flags;
        EXPECT_EQ(CursorMatches(cursor, c.name), c.matches)
            << Narrow(c.token) << " / " << Narrow(c.name);
    }
}

TEST(XmlScanTest, SeekAttribute) {
    struct Case {
        const char16_t* tag; // from the tag's name on
        const char16_t* name;
        bool found;
        const char16_t* token;
        bool quoted;
    } cases[] = {
        {u"a b=1 c = \"2\" d>", u"c", true, u"2", true},
        {u"a b=1 c=x'y d>", u"c", true, u"x'y", false},
        {u"a b d=1>", u"b", true, u"b", false}, // no value: the name itself
        {u"a b/>", u"b", true, u"b", false},
        {u"a b=1>", u"a", false, u"", false}, // the tag's own name is never compared
        {u"a b=1>", u"c", false, u"", false},
        {u"a x/y=1>", u"y", false, u"", false}, // the tag ends at '/'
        {u"a b=", u"b", true, u"", false},
        {u"a b='x>y'>", u"b", true, u"x>y", true},
        {u"xml encoding='1252'?>", u"encoding", true, u"1252", true},
        {u"encoding='1252'?>", u"encoding", false, u"", false},
    };
    for (const Case& c : cases) {
        SCAN_CURSOR cursor;
        cursor.text = c.tag;
        EXPECT_EQ(SeekAttribute(cursor, c.name), c.found) << Narrow(c.tag);
        if (c.found) {
            EXPECT_EQ(CursorText(cursor), c.token) << Narrow(c.tag);
            EXPECT_EQ((cursor.flags & kCursorQuoted) != 0, c.quoted) << Narrow(c.tag);
        }
    }
}

// ---------------------------------------------------------------- tree and reports

TEST(XmlTreeTest, ReportsAndShapes) {
    struct Case {
        const char16_t* text;
        bool ok;
        const char16_t* report;
        const char* shape;
    } cases[] = {
        {u"", false, u"Empty document", ""},
        {u"<?xml version='1.0'?><!DOCTYPE r [<!ENTITY a 'x>y'>]><!--c--><r a='>'><b/>"
         u"<![CDATA[<x>]]></r> ",
         true, u"", "r(b)"},
        {u"< a>", false, u"No root element", ""},
        {u"text only", false, u"No root element", ""},
        {u"<a/><b/>", false, u"Root element has sibling", "a,b"},
        {u"<r>< a></r>", false, u"Incorrect tag name character at offset 3", "r"},
        {u"<r></x></r>", false, u"No start tag for end tag 'x' at offset 3", "r"},
        {u"<r></x></y></r>", false, u"No start tag for end tag 'x' at offset 3", "r"},
        {u"<r><a><b></a></r>", false,
         u"End tag 'a' at offset 10 does not match start tag 'b' at offset 6", "r(a(b))"},
        // The innermost element closed by the end tag is the one named.
        {u"<r><a><b><c></r>", false,
         u"End tag 'r' at offset 13 does not match start tag 'c' at offset 9", "r(a,b,c)"},
        {u"<r><a><x/><b><y/></r>", false,
         u"End tag 'r' at offset 18 does not match start tag 'b' at offset 10", "r(a,x,b,y)"},
        {u"<r>", false, u"Element 'r' at offset 0 not ended", "r"},
        {u"<r><a>", false, u"Root element has sibling", "r,a"},
        {u"<r><a><b/>t", false, u"Root element has sibling", "r,a,b"},
        {u"<r/><a", false, u"Element tag at offset 4 unterminated", "r"},
        {u"<r/></a", false, u"Element end tag at offset 4 unterminated", "r"},
        {u"<r/><!--x", false, u"Comment at offset 4 unterminated", "r"},
        {u"<r/><![CDATA[x]>", false, u"CDATA Section at offset 4 unterminated", "r"},
        {u"<r/><?pi ?", false, u"Processing instruction at offset 4 unterminated", "r"},
        {u"<r/><!DOCTYPE x", false, u"Doctype at offset 4 unterminated", "r"},
        {u"<r/><!DOCTYPE x [<!ENTITY a '>", false, u"Doctype at offset 4 unterminated", "r"},
        {u"<r/><!DOCTYPE x [<!-- c", false, u"Doctype at offset 4 unterminated", "r"},
        {u"<r/><!ATTLIST x", false, u"Doctype at offset 4 unterminated", "r"},
        {u"<r/><", false, u"tag at offset 4 unterminated", "r"},
        {u"<r/><!x", false, u"tag at offset 4 unterminated", "r"},
        {u"<r/><!x>", false, u"Incorrect ! tag at offset 4", "r"},
        {u"<r/><!-x>", false, u"Incorrect comment tag at offset 4", "r"},
        {u"<r/><![x>", false, u"Incorrect tag at offset 4", "r"},
        {u"<r/><1>", false, u"Incorrect tag name character at offset 4", "r"},
        {u"<!DOCTYPE r [<!-- c -->]><r/>", false, u"Incorrect ! tag at offset 0", "r"},
        {u"<!DOCTYPE r [<?p?>]><r/>", false, u"Incorrect ! tag at offset 0", "r"},
    };
    for (const Case& c : cases) {
        bool ok;
        auto doc = Parse(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << Narrow(c.text);
        EXPECT_EQ(Narrow(doc->Report()), Narrow(c.report)) << Narrow(c.text);
        EXPECT_EQ(Shape(*doc), c.shape) << Narrow(c.text);
    }
}

// Deep stacks answer end tags from an index of the open names; the results
// must be those of searching the stack.
TEST(XmlTreeTest, EndTagsInDeepStacks) {
    std::u16string as;
    std::string shape;
    for (int i = 0; i < 20; ++i) {
        as += u"<a>";
        shape += i == 0 ? "a" : ",a";
    }
    bool ok;
    auto doc = Parse(u"<r><k=v>" + as + u"</z></k><b></a></b><c><d></c></r>", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Narrow(doc->Report()), "No start tag for end tag 'z' at offset 68");
    EXPECT_EQ(Shape(*doc), "r(k=v(" + shape + "),b,c(d))");

    std::u16string upper;
    for (int i = 0; i < 20; ++i)
        upper += u"<A>";
    auto folded = Parse(u"<R>" + upper + u"</x></r>", &ok, kXmlIgnoreCase);
    EXPECT_EQ(Narrow(folded->Report()), "No start tag for end tag 'x' at offset 63");
    EXPECT_EQ(folded->Record(1).length, 71);
    EXPECT_EQ(folded->Record(2).parent, 1);
    EXPECT_EQ(folded->Record(21).parent, 1);
}

TEST(XmlTreeTest, LengthsOfEndedAndUnendedElements) {
    auto doc = Parse(u"<r><a><b x='1'></a></r>");
    // r, a end normally; b is cut back to its start tag.
    EXPECT_EQ(doc->Record(0).length, 23);
    EXPECT_EQ(doc->Record(1).length, 23);
    EXPECT_EQ(doc->Record(1).endTagLength, 4);
    EXPECT_EQ(doc->Record(2).start, 3);
    EXPECT_EQ(doc->Record(2).length, 16);
    EXPECT_EQ(doc->Record(2).startTagLength, 3);
    EXPECT_EQ(doc->Record(2).endTagLength, 4);
    EXPECT_EQ(doc->Record(3).length, 9);
    EXPECT_EQ(doc->Record(3).startTagLength, 9);
    EXPECT_EQ(doc->Record(3).endTagLength, 0);
}

TEST(XmlTreeTest, RebuildingStartsAfresh) {
    CXmlDoc doc;
    EXPECT_EQ(doc.Report(), u"Empty document");
    doc.SetText(u"<r><a/></r>");
    EXPECT_TRUE(doc.BuildTree());
    ASSERT_TRUE(doc.NextChildElem(u"a"));
    doc.SetText(u"<s/>");
    EXPECT_TRUE(doc.BuildTree());
    EXPECT_EQ(doc.MainPos(), 0);
    EXPECT_EQ(doc.NextFree(), 2);
    EXPECT_EQ(Shape(doc), "s");
}

TEST(XmlTreeTest, RecordSegmentsGrowOneAtATimeAndFullOnesStay) {
    CRecordTable table;
    table.Grow(8);
    EXPECT_EQ(table.Capacity(), 8);
    table.Grow(60000);
    EXPECT_EQ(table.Capacity(), 60000);
    table[0].start = 42;
    table.Grow(1000000); // cut to the end of the next segment
    EXPECT_EQ(table.Capacity(), 2 * CRecordTable::kSegmentSize);
    const ELEM_REC* first = &table[0];
    EXPECT_EQ(first->start, 42);
    table[CRecordTable::kSegmentSize].start = 7;
    table.Grow(2 * CRecordTable::kSegmentSize + 10);
    table.Grow(3 * CRecordTable::kSegmentSize + 5);
    EXPECT_EQ(table.Capacity(), 3 * CRecordTable::kSegmentSize + 5);
    EXPECT_EQ(&table[0], first);
    EXPECT_EQ(table[CRecordTable::kSegmentSize].start, 7);
}

TEST(XmlTreeTest, ManyElementsSpanSegments) {
    std::u16string text = u"<r>";
    const int count = 200000;
    for (int i = 0; i < count; ++i)
        text += u"<e/>";
    text += u"<last>x</last></r>";
    auto doc = Parse(text);
    EXPECT_EQ(doc->NextFree(), count + 3);
    ASSERT_TRUE(doc->NextChildElem(u"last"));
    EXPECT_EQ(doc->ChildText(), u"x");
    EXPECT_EQ(doc->Record(count + 2).previous, count + 1);
}

TEST(XmlTreeTest, DeepNestingNeedsNoRecursion) {
    const int depth = 100000;
    std::u16string text;
    for (int i = 0; i < depth; ++i)
        text += u"<e>";
    text += u"x";
    for (int i = 0; i < depth; ++i)
        text += u"</e>";
    bool ok;
    auto doc = Parse(text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(doc->Report(), u"");
    EXPECT_EQ(doc->Record(depth).parent, depth - 1);
    EXPECT_EQ(doc->ElemText(depth), u"x");
    int levels = 0;
    doc->Rewind();
    while (doc->NextChildElem(u"e") && doc->EnterElem())
        ++levels;
    EXPECT_EQ(levels, depth - 1);
}

TEST(XmlTreeTest, UnclosedNestingEndsFlat) {
    const int depth = 10000;
    std::u16string text;
    for (int i = 0; i < depth; ++i)
        text += u"<e>";
    bool ok;
    auto doc = Parse(text, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(doc->Report(), u"Root element has sibling");
    int count = 0;
    for (int i = doc->Record(0).firstChild; i != 0; i = doc->Record(i).next) {
        ++count;
        EXPECT_EQ(i, count);
        EXPECT_EQ(doc->Record(i).parent, 0);
        EXPECT_EQ(doc->Record(i).firstChild, 0);
        EXPECT_EQ(doc->Record(i).length, 3);
    }
    EXPECT_EQ(count, depth);
    EXPECT_EQ(doc->Record(1).previous, depth);
}

// ---------------------------------------------------------------- navigation

TEST(XmlNavigationTest, NamesMatchWholeAndCaseOnlyWithTheFlag) {
    auto doc = Parse(u"<r><TRAYICONS/><trayicon/><TRAYICON/></r>");
    EXPECT_TRUE(doc->NextChildElem(u"TRAYICON"));
    EXPECT_EQ(doc->ChildPos(), 4);

    auto folded = Parse(u"<r><TRAYICONS/><trayicon/><TRAYICON/></r>", nullptr, kXmlIgnoreCase);
    EXPECT_TRUE(folded->NextChildElem(u"TRAYICON"));
    EXPECT_EQ(folded->ChildPos(), 3);
}

TEST(XmlNavigationTest, PositionsMoveForwardAndDown) {
    auto doc = Parse(u"<r><a><x>1</x></a><b/><a><x>2</x></a></r>");
    EXPECT_FALSE(doc->EnterElem()); // nothing to enter yet
    ASSERT_TRUE(doc->NextElem());
    EXPECT_EQ(doc->MainPos(), 1);
    EXPECT_EQ(doc->NodeType(), 1);
    EXPECT_FALSE(doc->NextElem()); // the root has no sibling; nothing changes
    EXPECT_EQ(doc->MainPos(), 1);

    ASSERT_TRUE(doc->NextChildElem(u"a"));
    ASSERT_TRUE(doc->NextChildElem(u"a")); // the second a
    EXPECT_FALSE(doc->NextChildElem(u"a"));
    ASSERT_TRUE(doc->EnterElem());
    EXPECT_EQ(doc->ParentPos(), 1);
    ASSERT_TRUE(doc->NextChildElem(u"x"));
    EXPECT_EQ(doc->ChildText(), u"2");

    doc->Rewind();
    EXPECT_EQ(doc->MainPos(), 0);
    ASSERT_TRUE(doc->NextChildElem()); // any name: the first child of the root
    EXPECT_EQ(doc->ChildPos(), 2);
    EXPECT_EQ(doc->ChildText(), u""); // it has a child element
}

// ---------------------------------------------------------------- text

TEST(XmlTextTest, ElementText) {
    struct Case {
        const char16_t* text;
        const char16_t* expected;
    } cases[] = {
        {u"<a>one<!--c--> two<![CDATA[<b>]]></a>", u"one two<b>"},
        {u"<a><b/></a>", u""},
        {u"<a>x &amp; y</a>", u"x & y"},
        {u"<a>  </a>", u"  "},
        {u"<a> <!--c-->x</a>", u"x"}, // whitespace between markup adds nothing
        {u"<a>&lt;<?p?>b&gt;</a>", u"<b>"},
        {u"<a><![CDATA[&amp;]]></a>", u"&amp;"},
        {u"<a>x>y<!---->z</a>", u"x>yz"},
        {u"<a><![C]]></a>", u""},
        {u"<a/>", u""},
        {u"<a>x", u""}, // not ended: no content
        {u"<a></a>", u""},
    };
    for (const Case& c : cases) {
        auto doc = Parse(c.text);
        EXPECT_EQ(Narrow(doc->ElemText(1)), Narrow(c.expected)) << Narrow(c.text);
    }
}

TEST(XmlTextTest, CharacterReferences) {
    struct Case {
        const char16_t* text;
        const char16_t* expected;
    } cases[] = {
        {u"&amp;", u"&"},
        {u"&#65;&#x41;&#X41;", u"AAA"},
        {u"&AMP;&Amp;", u"&&"},
        {u"&Eacute;&eacute;&EACUTE;", u"\u00c9\u00e9\u00c9"},
        {u"&Alpha;&alpha;&Dagger;&dagger;&rArr;&rarr;", u"\u0391\u03b1\u2021\u2020\u21d2\u2192"},
        {u"&apos;&quot;&lt;&gt;&nbsp;&euro;&thetasym;", u"'\"<>\u00a0\u20ac\u03d1"},
        {u"&#x1F600;", u"\U0001F600"},
        {u"&#x10FFFF;", u"\U0010FFFF"},
        {u"&#65abc;", u"A"}, // digits are read as far as they go
        {u"&bogus;", u"&bogus;"},
        {u"&;", u"&;"},
        {u"&#;&#x;&#0;&#x0;", u"&#;&#x;&#0;&#x0;"},
        {u"&#x110000;&#1114112;", u"&#x110000;&#1114112;"},
        {u"&amp", u"&amp"},
        {u"&&amp;", u"&&"},
        {u"&#000000065;", u"&#000000065;"}, // longer than nine units
        {u"&#00000065;", u"A"},
        {u"&\u00e9;", u"&\u00e9;"},
        {u"a&b", u"a&b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Narrow(DecodeEntities(c.text, -1)), Narrow(c.expected)) << Narrow(c.text);
    }
    // An explicit length stops the decoding there.
    EXPECT_EQ(DecodeEntities(u"&amp;&amp;", 5), u"&");
    EXPECT_EQ(DecodeEntities(u"&amp;", 4), u"&amp");
}

} // namespace
} // namespace orv
