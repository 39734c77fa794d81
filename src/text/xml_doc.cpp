#include "text/xml_doc.h"

#include "base/wstr.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

namespace orv {

// ---------------------------------------------------------------- open elements

struct OpenElem {
    int nameStart; // the name is in the text
    int nameLength;
    int record;
};

// The stack of open elements. An end tag closes the innermost open element
// whose name it matches; searching the whole stack for each stray end tag
// would make a deep document full of them quadratic, so once a search goes
// past the innermost element of a deep stack, an index of the names on the
// stack answers "no such element" at once.
class COpenElements {
public:
    COpenElements(const std::u16string& text, int flags) : m_text(text), m_flags(flags) {
        m_open.reserve(6);
    }

    std::size_t Size() const { return m_open.size(); }
    const OpenElem& operator[](std::size_t i) const { return m_open[i]; }
    const OpenElem& Back() const { return m_open.back(); }

    void Push(const OpenElem& e) {
        if (m_open.size() == m_open.capacity())
            m_open.reserve(2 * m_open.size() + 6);
        m_open.push_back(e);
        if (m_indexed)
            Count(e, 1);
    }
    void Truncate(std::size_t size) {
        if (m_indexed)
            for (std::size_t i = size; i < m_open.size(); ++i)
                Count(m_open[i], -1);
        m_open.resize(size);
    }

    // The number of entries through the innermost one that the end tag's
    // token matches; 0 when none does.
    std::size_t FindMatch(const SCAN_CURSOR& endTag) {
        std::size_t k = m_open.size();
        if (k == 0 || CursorMatches(endTag, Name(m_open[k - 1])))
            return k;
        if (!m_indexed && k > kIndexDepth) {
            for (const OpenElem& e : m_open)
                Count(e, 1);
            m_indexed = true;
        }
        if (m_indexed && m_keys.count(Key(endTag)) == 0)
            return 0;
        for (--k; k > 0; --k)
            if (CursorMatches(endTag, Name(m_open[k - 1])))
                return k;
        return 0;
    }

private:
    static constexpr std::size_t kIndexDepth = 16;

    std::u16string_view Name(const OpenElem& e) const {
        return std::u16string_view(m_text).substr(e.nameStart, e.nameLength);
    }
    // Tokens that can match a name: the whole name and each part of it before
    // an '=', '[' or ']'. With the ignore-case flag, ASCII letters are folded.
    std::u16string Folded(std::u16string_view s) const {
        std::u16string key(s);
        if (m_flags & kXmlIgnoreCase)
            for (char16_t& c : key)
                if (c >= u'A' && c <= u'Z')
                    c += 32;
        return key;
    }
    std::u16string Key(const SCAN_CURSOR& token) const { return Folded(CursorText(token)); }
    void Count(const OpenElem& e, int delta) {
        std::u16string_view name = Name(e);
        for (std::size_t i = 0; i <= name.size(); ++i) {
            if (i < name.size() && name[i] != u'=' && name[i] != u'[' && name[i] != u']')
                continue;
            auto it = m_keys.try_emplace(Folded(name.substr(0, i)), 0).first;
            if ((it->second += delta) == 0)
                m_keys.erase(it);
        }
    }

    const std::u16string& m_text;
    const int m_flags;
    std::vector<OpenElem> m_open;
    bool m_indexed = false;
    std::unordered_map<std::u16string, int> m_keys; // key -> open elements it may close
};

// ---------------------------------------------------------------- records

void CRecordTable::Grow(int wanted) {
    const int last = m_nCapacity == 0 ? -1 : (m_nCapacity - 1) >> kSegmentBits;
    const long long limit = static_cast<long long>(last + 2) << kSegmentBits;
    if (wanted > limit)
        wanted = static_cast<int>(limit);
    if (wanted <= m_nCapacity)
        return;

    auto resize = [&](int segment, int oldSize, int newSize) {
        std::unique_ptr<ELEM_REC[]> bigger(new ELEM_REC[newSize]);
        if (oldSize > 0)
            std::memcpy(bigger.get(), m_segments[segment].get(), oldSize * sizeof(ELEM_REC));
        m_segments[segment] = std::move(bigger);
    };
    const int lastStart = last < 0 ? 0 : last << kSegmentBits;
    if (last >= 0 && wanted <= lastStart + kSegmentSize) {
        resize(last, m_nCapacity - lastStart, wanted - lastStart);
        m_nCapacity = wanted;
        return;
    }
    // A new segment; the one before it is widened to full size first.
    const std::size_t count = last < 0 ? 0 : static_cast<std::size_t>(last) + 1;
    if (m_segments.capacity() <= count)
        m_segments.reserve(2 * count + 4);
    std::unique_ptr<ELEM_REC[]> segment(new ELEM_REC[wanted - (count << kSegmentBits)]);
    if (last >= 0 && m_nCapacity < lastStart + kSegmentSize) {
        resize(last, m_nCapacity - lastStart, kSegmentSize);
        m_nCapacity = lastStart + kSegmentSize;
    }
    m_segments.push_back(std::move(segment));
    m_nCapacity = wanted;
}

// ---------------------------------------------------------------- document

CXmlDoc::CXmlDoc() {
    BuildTree();
}

void CXmlDoc::SetText(std::u16string text) {
    m_strText = std::move(text);
    m_strReport.clear();
}

void CXmlDoc::GrowRecords(int wanted) {
    while (m_records.Capacity() < wanted)
        m_records.Grow(wanted);
}

void CXmlDoc::SetFirstReport(std::u16string text) {
    if (m_strReport.empty())
        m_strReport = std::move(text);
}

bool CXmlDoc::BuildTree() {
    std::u16string loadReport = std::move(m_strReport);
    m_strReport.clear();
    Rewind();
    const int textLength = static_cast<int>(m_strText.size());
    m_nNextFree = 1;
    m_bNotWellFormed = false;
    try {
        GrowRecords(textLength / 64 + 8);
    } catch (const std::bad_alloc&) {
        GrowRecords(1); // the smallest table, which any document has
    }
    m_records[0] = ELEM_REC{};

    if (textLength == 0) {
        m_strReport = u"Empty document";
    } else {
        Parse();
        m_records[0].length = textLength;
        m_records[0].firstChild = m_nNextFree > 1 ? 1 : 0;
        // These two replace whatever the parse reported.
        if (m_records[0].firstChild == 0)
            m_strReport = u"No root element";
        else if (m_records[1].next != 0)
            m_strReport = u"Root element has sibling";
    }
    Rewind();

    if (!loadReport.empty())
        m_strReport = m_strReport.empty() ? loadReport : loadReport + u" " + m_strReport;
    return !m_bNotWellFormed && m_records[0].firstChild != 0 && m_records[1].next == 0;
}

void CXmlDoc::Parse() {
    SCAN_CURSOR cursor;
    cursor.text = m_strText.c_str();
    cursor.flags = m_nFlags;
    SCAN_NODE node;
    COpenElements open(m_strText, m_nFlags);
    int parent = 0;
    try {
        for (;;) {
            switch (ScanNode(cursor, node)) {
            case kNodeElement:
                AddElement(node, parent, open);
                break;
            case kNodeMalformed:
                m_bNotWellFormed = true;
                SetFirstReport(node.name);
                break;
            case kNodeEndTag: {
                // The innermost open element of that name ends here; any
                // inside it were never ended.
                const std::size_t k = open.FindMatch(cursor);
                if (k == 0) {
                    m_bNotWellFormed = true;
                    SetFirstReport(u"No start tag for end tag '" + CursorText(cursor) +
                                   FormatW(u"' at offset %d", node.start));
                    break;
                }
                CloseNotEnded(open, k, parent, &cursor, node.start);
                ELEM_REC& r = m_records[open[k - 1].record];
                r.length = node.start + node.length - r.start;
                r.endTagLength = node.length;
                open.Truncate(k - 1);
                parent = r.parent;
                break;
            }
            case kNodeEnd:
                CloseNotEnded(open, 0, parent, nullptr, 0);
                return;
            default:
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for the records or the stack: what was read stays,
        // and the elements still open are closed where the parse stopped.
        m_bNotWellFormed = true;
        SetFirstReport(FormatW(u"Out of memory at offset %d", node.start));
        CloseNotEnded(open, 0, parent, nullptr, 0);
    }
}

void CXmlDoc::AddElement(const SCAN_NODE& node, int& parent, COpenElements& open) {
    if (m_nNextFree == m_records.Capacity())
        m_records.Grow(m_nNextFree + m_nNextFree / 2);
    const bool empty = (node.flags & kNodeEmptyElement) != 0;

    const int i = m_nNextFree++;
    ELEM_REC& r = m_records[i];
    r.start = node.start;
    r.length = node.length;
    r.startTagLength = node.length;
    r.endTagLength = 0;
    r.parent = parent;
    r.firstChild = 0;
    r.next = 0;
    // Appended as the last child; the first child's previous is the last.
    ELEM_REC& p = m_records[parent];
    if (p.firstChild == 0) {
        p.firstChild = i;
        r.previous = i;
    } else {
        ELEM_REC& first = m_records[p.firstChild];
        r.previous = first.previous;
        m_records[first.previous].next = i;
        first.previous = i;
    }
    if (!empty) {
        open.Push(OpenElem{node.start + 1, static_cast<int>(node.name.size()), i});
        parent = i;
    }
}

// Closes open[from..] as not ended, innermost first: each keeps only its
// start tag, and its children move up to follow it. Done one by one, children
// would climb one level per closed element; the result is the same as
// appending, in order, the child lists of all the closed elements to the
// parent of the outermost, which touches each moved record once.
void CXmlDoc::CloseNotEnded(COpenElements& open, std::size_t from, int& parent,
                            const SCAN_CURSOR* endTag, int endTagStart) {
    if (from >= open.Size())
        return;
    m_bNotWellFormed = true;
    const OpenElem& innermost = open.Back();
    const std::u16string innerName(m_strText, innermost.nameStart, innermost.nameLength);
    const int innerStart = m_records[innermost.record].start;
    if (endTag != nullptr)
        SetFirstReport(u"End tag '" + CursorText(*endTag) +
                       FormatW(u"' at offset %d does not match start tag '", endTagStart + 1) +
                       innerName + FormatW(u"' at offset %d", innerStart));
    else
        SetFirstReport(u"Element '" + innerName + FormatW(u"' at offset %d not ended", innerStart));

    const int target = m_records[open[from].record].parent;
    int last = open[from].record; // the target's last child
    for (std::size_t j = from; j < open.Size(); ++j) {
        ELEM_REC& r = m_records[open[j].record];
        r.length = r.startTagLength;
        r.endTagLength = 0;
        const int first = r.firstChild;
        if (first == 0)
            continue;
        const int lastChild = m_records[first].previous;
        m_records[last].next = first;
        m_records[first].previous = last;
        for (int x = first; x != 0; x = m_records[x].next)
            m_records[x].parent = target;
        last = lastChild;
        r.firstChild = 0;
    }
    m_records[m_records[target].firstChild].previous = last;
    open.Truncate(from);
    parent = target;
}

// ---------------------------------------------------------------- navigation

void CXmlDoc::Rewind() {
    m_nParentPos = m_nMainPos = m_nChildPos = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = 0;
}

int CXmlDoc::FindSibling(int parent, int after, std::u16string_view name) const {
    int i = after != 0 ? m_records[after].next : m_records[parent].firstChild;
    if (name.empty())
        return i;
    SCAN_CURSOR cursor;
    cursor.text = m_strText.c_str();
    cursor.flags = m_nFlags;
    const int textLength = static_cast<int>(m_strText.size());
    for (; i != 0; i = m_records[i].next) {
        // Records outlive a failed load, whose text is empty: never look past it.
        if (m_records[i].start >= textLength)
            continue;
        cursor.next = m_records[i].start + 1;
        ScanName(cursor);
        if (CursorMatches(cursor, name))
            return i;
    }
    return 0;
}

bool CXmlDoc::NextElem(std::u16string_view name) {
    int i = FindSibling(m_nParentPos, m_nMainPos, name);
    if (i == 0)
        return false;
    m_nParentPos = m_records[i].parent;
    m_nMainPos = i;
    m_nChildPos = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = 1;
    return true;
}

bool CXmlDoc::NextChildElem(std::u16string_view name) {
    if (m_nMainPos == 0)
        NextElem();
    int i = FindSibling(m_nMainPos, m_nChildPos, name);
    if (i == 0)
        return false;
    m_nChildPos = i;
    m_nMainPos = m_records[i].parent;
    m_nParentPos = m_records[m_nMainPos].parent;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = m_nMainPos != 0 ? 1 : 0;
    return true;
}

bool CXmlDoc::EnterElem() {
    if (m_nMainPos == 0 || m_nNodeType != 1)
        return false;
    m_nParentPos = m_nMainPos;
    m_nMainPos = m_nChildPos;
    m_nChildPos = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = m_nMainPos != 0 ? 1 : 0;
    return true;
}

// ---------------------------------------------------------------- text

std::u16string CXmlDoc::ChildText() const {
    return ElemText(m_nChildPos);
}

std::u16string CXmlDoc::ElemText(int record) const {
    if (record <= 0 || record >= m_nNextFree)
        return {};
    const ELEM_REC& r = m_records[record];
    if (r.firstChild != 0 || r.startTagLength == r.length)
        return {};
    const int from = r.start + r.startTagLength;
    const int to = r.start + r.length - r.endTagLength;
    if (to > static_cast<int>(m_strText.size()) || from > to)
        return {};
    const char16_t* t = m_strText.c_str();
    if (std::find(t + from, t + to, u'<') == t + to)
        return DecodeEntities(t + from, to - from);

    // Text nodes are decoded, CDATA sections taken as they are; whitespace
    // between markup, comments and everything else add nothing.
    std::u16string text;
    SCAN_CURSOR cursor;
    cursor.text = t;
    cursor.flags = m_nFlags;
    cursor.next = from;
    SCAN_NODE node;
    while (cursor.next < to) {
        int type = ScanNode(cursor, node);
        if (type == kNodeEnd)
            break;
        const int end = std::min(node.start + node.length, to);
        if (type == kNodeText) {
            text += DecodeEntities(t + node.start, end - node.start);
        } else if (type == kNodeCData) {
            const int inner = node.start + 9;
            const int innerEnd = end - 3;
            if (inner < innerEnd)
                text.append(t + inner, innerEnd - inner);
        }
    }
    return text;
}

} // namespace orv
