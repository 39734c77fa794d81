// The service's own small XML reader. It parses a UTF-16 text into a flat
// table of element records, recovers from malformed markup instead of giving
// up, and offers forward navigation by element name plus the text content of
// an element. It only reads: there is no writer and no editing.
//
// All offsets and lengths count UTF-16 units from the start of the text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// Document flags.
constexpr int kXmlUtf16Bom = 0x1;    // the file began with the UTF-16LE byte-order mark
constexpr int kXmlUtf8Bom = 0x4;     // the file began with the UTF-8 byte-order mark
constexpr int kXmlIgnoreCase = 0x8;  // element names compare ignoring ASCII case
constexpr int kXmlFileOpen = 0x10;   // set while a file is being read
constexpr int kXmlUtf16BeBom = 0x80; // the file began with the UTF-16BE byte-order mark

// Cursor flag: the current token is a quoted value.
constexpr int kCursorQuoted = 0x8000;
// Node flag: an empty-element tag.
constexpr int kNodeEmptyElement = 0x10000;

// Node types, as the scanner returns them.
enum : int {
    kNodeEndTag = 0,
    kNodeElement = 1,
    kNodeText = 2,
    kNodeWhitespace = 4,
    kNodeCData = 8,
    kNodeProcessing = 16,
    kNodeComment = 32,
    kNodeDoctype = 64,
    kNodeMalformed = -1,
    kNodeEnd = -2,
};

// One element. Record 0 stands for the document: its first child is the
// root, its length the length of the text.
struct ELEM_REC {
    std::int32_t start;          // offset of the element's '<'
    std::int32_t length;         // '<' through the end tag's '>'; the start tag
                                 // alone for an empty-element tag or one not ended
    std::int32_t startTagLength; // '<' through '>' of the start tag
    std::int32_t endTagLength;   // 0 when there is none
    std::int32_t parent;         // 0 = the document
    std::int32_t firstChild;     // 0 = none
    std::int32_t next;           // next sibling, 0 = none
    std::int32_t previous;       // for a first child: the last child; else the previous sibling
};

// Record storage in segments of 65,536 records. Only the last segment is
// sized to the capacity; full segments never move, so a large document never
// needs one contiguous block.
class CRecordTable {
public:
    static constexpr int kSegmentBits = 16;
    static constexpr int kSegmentSize = 1 << kSegmentBits;

    int Capacity() const { return m_nCapacity; }
    // One growth step towards `wanted`, cut to the end of the segment after
    // the current last one. May throw std::bad_alloc; the table is then as it was.
    void Grow(int wanted);

    ELEM_REC& operator[](int i) { return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
    const ELEM_REC& operator[](int i) const {
        return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)];
    }

private:
    std::vector<std::unique_ptr<ELEM_REC[]>> m_segments;
    int m_nCapacity = 0;
};

// The scanner's position in a zero-terminated text.
struct SCAN_CURSOR {
    int left = 0; // the current token, inclusive; right < left: empty
    int right = -1;
    int next = 0; // where scanning continues
    const char16_t* text = u"";
    int flags = 0; // kXmlIgnoreCase, kCursorQuoted
};

// One node read by ScanNode.
struct SCAN_NODE {
    int type = kNodeEnd;
    int start = 0;
    int length = 0;
    int flags = 0; // kNodeEmptyElement
    std::u16string
        name; // element or processing-instruction name, or the message of a malformed node
};

// Reads one node from the cursor's next position and moves next after it.
int ScanNode(SCAN_CURSOR& cursor, SCAN_NODE& node);
// Skips whitespace and reads one name token; false at the end of the text.
bool ScanName(SCAN_CURSOR& cursor);
std::u16string CursorText(const SCAN_CURSOR& cursor);
// Whether the token is `name`, or `name` up to a space, '=', '/', '[' or ']'.
bool CursorMatches(const SCAN_CURSOR& cursor, std::u16string_view name);
// Finds an attribute of the tag at the cursor; the token becomes its value.
bool SeekAttribute(SCAN_CURSOR& cursor, std::u16string_view name);

// Copies text and resolves character references (length -1: up to the
// terminating zero).
std::u16string DecodeEntities(const char16_t* text, int length);

class COpenElements;

class CXmlDoc {
public:
    CXmlDoc();
    CXmlDoc(const CXmlDoc&) = delete;
    CXmlDoc& operator=(const CXmlDoc&) = delete;

    // Reads a file into the text (with its encoding detected), then parses it.
    // A file that cannot be read leaves an empty text and the previous tree.
    void LoadFile(std::u16string_view path);

    // Replaces the text and clears the report; BuildTree parses it.
    void SetText(std::u16string text);

    // Parses the text. True when it is well formed with exactly one root.
    bool BuildTree();

    void Rewind();
    bool NextElem(std::u16string_view name = {});
    bool NextChildElem(std::u16string_view name = {});
    bool EnterElem();
    std::u16string ChildText() const;
    std::u16string ElemText(int record) const;

    const std::u16string& Text() const { return m_strText; }
    const std::u16string& Report() const { return m_strReport; }
    int Flags() const { return m_nFlags; }
    void SetFlags(int flags) { m_nFlags = flags; }

    int ParentPos() const { return m_nParentPos; }
    int MainPos() const { return m_nMainPos; }
    int ChildPos() const { return m_nChildPos; }
    int NodeType() const { return m_nNodeType; }
    int NextFree() const { return m_nNextFree; }
    const ELEM_REC& Record(int i) const { return m_records[i]; }

private:
    void Parse();
    void AddElement(const SCAN_NODE& node, int& parent, COpenElements& open);
    void CloseNotEnded(COpenElements& open, std::size_t from, int& parent,
                       const SCAN_CURSOR* endTag, int endTagStart);
    void SetFirstReport(std::u16string text);
    int FindSibling(int parent, int after, std::u16string_view name) const;
    void GrowRecords(int wanted);

    std::u16string m_strText;
    std::u16string m_strReport;
    int m_nParentPos = 0;
    int m_nMainPos = 0;
    int m_nChildPos = 0;
    int m_nNextFree = 0;
    int m_nNodeType = 0;
    int m_nNodeOffset = 0;
    int m_nNodeLength = 0;
    int m_nFlags = 0;
    CRecordTable m_records;
    bool m_bNotWellFormed = false;
};

} // namespace orv
