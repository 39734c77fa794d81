// The node scanner and the name and attribute scanning on top of it. The
// scanner reads the zero-terminated text of a cursor and never looks past
// its terminating zero.
#include "text/xml_doc.h"

#include "base/wstr.h"

namespace orv {

namespace {

inline bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Units that end a name in a tag.
inline bool EndsTagName(char16_t c) {
    return IsSpace(c) || c == u'/' || c == u'>' || c == 0;
}

// Units that end a name token of ScanName (each is also a token of its own).
inline bool EndsNameToken(char16_t c) {
    switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\r':
    case u'<':
    case u'>':
    case u'=':
    case u'\\':
    case u'/':
    case u'?':
    case u'!':
    case u'"':
    case u'\'':
    case u';':
        return true;
    default:
        return false;
    }
}

inline bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

inline bool StartsElementName(char16_t c) {
    return IsAsciiLetter(c) || c == u':' || c == u'_' || c > u'z';
}

std::u16string AtOffset(const char16_t* what, int offset) {
    return FormatW(u"%s at offset %d", what, offset);
}

// Reads one node; every exit goes through Finish, Malformed or Unterminated.
class NodeScanner {
public:
    NodeScanner(SCAN_CURSOR& cursor, SCAN_NODE& node)
        : m_cur(cursor), m_node(node), t(cursor.text), m_start(cursor.next) {}

    int Scan();

private:
    int Finish(int type, int end) {
        m_node.type = type;
        m_node.length = end - m_start;
        m_cur.next = end;
        return type;
    }
    // The text ended inside the node.
    int Unterminated(int end, const char16_t* kind) {
        m_node.name = AtOffset(kind, m_start) + u" unterminated";
        return Finish(kNodeMalformed, end);
    }
    // Malformed markup found at `p`: the node runs on to the next '>'
    // (included) or to just before the next '<'.
    int Malformed(int p, const char16_t* words, const char16_t* kindAtEnd = u"tag") {
        for (;;) {
            char16_t c = t[p];
            if (c == 0)
                return Unterminated(p, kindAtEnd);
            if (c == u'<')
                break;
            ++p;
            if (c == u'>')
                break;
        }
        m_node.name = u"Incorrect ";
        m_node.name += words;
        m_node.name += FormatW(u" at offset %d", m_start);
        return Finish(kNodeMalformed, p);
    }
    // Runs to a '>' from `from` on whose preceding units are `closer` (e.g.
    // "?" for "?>"). Those units may be the opener's own: "<?>" and "<!-->"
    // are whole. `from` lies at least closer.size() units into the node.
    int ToTerminator(int type, int from, std::u16string_view closer, const char16_t* kind) {
        const int n = static_cast<int>(closer.size());
        for (int p = from;; ++p) {
            char16_t c = t[p];
            if (c == 0)
                return Unterminated(p, kind);
            if (c == u'>' && std::u16string_view(t + p - n, n) == closer)
                return Finish(type, p + 1);
        }
    }
    int TextOrWhitespace();
    int StartTag();
    int EndTag();
    int Declaration();
    int Doctype();

    SCAN_CURSOR& m_cur;
    SCAN_NODE& m_node;
    const char16_t* t;
    int m_start;
};

int NodeScanner::Scan() {
    m_node.start = m_start;
    m_node.flags = 0;
    m_node.name.clear();
    char16_t c = t[m_start];
    if (c == 0) {
        m_node.type = kNodeEnd;
        m_node.length = 0;
        return kNodeEnd;
    }
    if (c != u'<')
        return TextOrWhitespace();
    c = t[m_start + 1];
    if (c == u'/')
        return EndTag();
    if (c == u'?') {
        int p = m_start + 2;
        while (!EndsTagName(t[p]))
            ++p;
        m_node.name.assign(t + m_start + 2, p - m_start - 2);
        return ToTerminator(kNodeProcessing, m_start + 2, u"?", u"Processing instruction");
    }
    if (c == u'!')
        return Declaration();
    if (StartsElementName(c))
        return StartTag();
    if (c == 0)
        return Unterminated(m_start + 1, u"tag");
    return Malformed(m_start + 1, u"tag name character");
}

int NodeScanner::TextOrWhitespace() {
    int p = m_start;
    while (IsSpace(t[p]))
        ++p;
    if (t[p] == u'<' || t[p] == 0)
        return Finish(kNodeWhitespace, p);
    for (;;) {
        char16_t c = t[p];
        if (c == u'<' || c == 0)
            break;
        ++p;
        if (c == u'>')
            break;
    }
    return Finish(kNodeText, p);
}

int NodeScanner::StartTag() {
    const int nameStart = m_start + 1;
    int p = nameStart;
    while (!EndsTagName(t[p]))
        ++p;
    const int nameEnd = p;
    m_node.name.assign(t + nameStart, nameEnd - nameStart);

    // Attributes: a quote opens a value only after '=', and only the same
    // quote closes it; inside it a '>' does not end the tag.
    enum { Plain, AfterEquals, Unquoted, Quoted } state = Plain;
    char16_t quote = 0;
    for (;; ++p) {
        char16_t c = t[p];
        if (c == 0)
            return Unterminated(p, u"Element tag");
        switch (state) {
        case Plain:
            if (c == u'=')
                state = AfterEquals;
            break;
        case AfterEquals:
            if (c == u'"' || c == u'\'') {
                quote = c;
                state = Quoted;
            } else if (!IsSpace(c) && c != u'>') {
                state = Unquoted;
            }
            break;
        case Unquoted:
            if (IsSpace(c))
                state = Plain;
            break;
        case Quoted:
            if (c == quote)
                state = Plain;
            continue;
        }
        if (c != u'>')
            continue;
        // "<a/>", "<a />", "<a b='1'/>" are empty-element tags; in "<a b=1/>"
        // the '/' belongs to the value.
        if (t[p - 1] == u'/') {
            char16_t before = p - 1 == nameEnd ? u' ' : t[p - 2];
            if (IsSpace(before) || before == u'"' || before == u'\'')
                m_node.flags |= kNodeEmptyElement;
        }
        return Finish(kNodeElement, p + 1);
    }
}

int NodeScanner::EndTag() {
    int p = m_start + 2;
    while (!EndsTagName(t[p]))
        ++p;
    m_cur.left = m_start + 2;
    m_cur.right = p - 1;
    m_cur.flags &= ~kCursorQuoted;
    for (;; ++p) {
        if (t[p] == 0)
            return Unterminated(p, u"Element end tag");
        if (t[p] == u'>')
            return Finish(kNodeEndTag, p + 1);
    }
}

int NodeScanner::Declaration() {
    const int p = m_start + 2;
    switch (t[p]) {
    case u'-':
        if (t[p + 1] != u'-')
            return Malformed(p + 1, u"comment tag");
        return ToTerminator(kNodeComment, m_start + 4, u"--", u"Comment");
    case u'[':
        if (t[p + 1] != u'C')
            return Malformed(p + 1, u"tag");
        return ToTerminator(kNodeCData, m_start + 4, u"]]", u"CDATA Section");
    case u'D':
        return Doctype();
    case u'E':
    case u'A':
    case u'N':
        return ToTerminator(kNodeDoctype, p, u"", u"Doctype");
    default:
        return Malformed(p, u"! tag");
    }
}

// A document type declaration ends at the first '>' at its own level; the
// declarations nested in it run to their own '>', with quoting.
int NodeScanner::Doctype() {
    for (int p = m_start + 2;; ++p) {
        char16_t c = t[p];
        if (c == 0)
            return Unterminated(p, u"Doctype");
        if (c == u'>')
            return Finish(kNodeDoctype, p + 1);
        if (c != u'<')
            continue;
        if (t[p + 1] != u'!')
            return Malformed(p + 1, u"! tag", u"Doctype");
        char16_t kind = t[p + 2];
        if (kind != u'E' && kind != u'A' && kind != u'N')
            return Malformed(p + 2, u"! tag", u"Doctype");
        char16_t quote = 0;
        for (p += 3;; ++p) {
            c = t[p];
            if (c == 0)
                return Unterminated(p, u"Doctype");
            if (quote != 0) {
                if (c == quote)
                    quote = 0;
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                break;
            }
        }
    }
}

} // namespace

int ScanNode(SCAN_CURSOR& cursor, SCAN_NODE& node) {
    return NodeScanner(cursor, node).Scan();
}

bool ScanName(SCAN_CURSOR& cursor) {
    const char16_t* t = cursor.text;
    int p = cursor.next;
    while (IsSpace(t[p]))
        ++p;
    cursor.flags &= ~kCursorQuoted;
    cursor.left = p;
    if (t[p] == 0) {
        cursor.right = p - 1;
        cursor.next = p;
        return false;
    }
    int q = p + 1;
    if (!EndsNameToken(t[p]))
        while (t[q] != 0 && !EndsNameToken(t[q]))
            ++q;
    cursor.right = q - 1;
    cursor.next = q;
    return true;
}

std::u16string CursorText(const SCAN_CURSOR& cursor) {
    if (cursor.right < cursor.left)
        return {};
    return std::u16string(cursor.text + cursor.left, cursor.right - cursor.left + 1);
}

bool CursorMatches(const SCAN_CURSOR& cursor, std::u16string_view name) {
    const int n = cursor.right < cursor.left ? 0 : cursor.right - cursor.left + 1;
    const char16_t* token = cursor.text + cursor.left;
    if (static_cast<std::size_t>(n) > name.size())
        return false;
    // With the ignore-case flag ASCII letters may differ in case, but only up
    // to the first pair of equal units at or above 0x80.
    bool fold = (cursor.flags & kXmlIgnoreCase) != 0;
    for (int i = 0; i < n; ++i) {
        char16_t a = token[i];
        char16_t b = name[i];
        if (a == b) {
            if (a >= 0x80)
                fold = false;
            continue;
        }
        if (!fold || !IsAsciiLetter(a) || !IsAsciiLetter(b) || (a | 0x20) != (b | 0x20))
            return false;
    }
    if (static_cast<std::size_t>(n) == name.size())
        return true;
    char16_t after = name[n];
    return after == 0 || after == u' ' || after == u'=' || after == u'/' || after == u'[' ||
           after == u']';
}

namespace {

enum class TokenKind { Name, Value, EndOfTag, EndOfText };

// One token of a tag for SeekAttribute: skips whitespace, then reads a quoted
// token, an '=' (returned as a name token of one unit, see below), an
// unquoted name or an unquoted value.
TokenKind NextTagToken(SCAN_CURSOR& cursor, bool value, bool& isEquals) {
    const char16_t* t = cursor.text;
    int p = cursor.next;
    while (IsSpace(t[p]))
        ++p;
    isEquals = false;
    cursor.flags &= ~kCursorQuoted;
    char16_t c = t[p];
    if (c == 0) {
        cursor.left = p;
        cursor.right = p - 1;
        cursor.next = p;
        return TokenKind::EndOfText;
    }
    if (c == u'"' || c == u'\'') {
        int q = p + 1;
        while (t[q] != 0 && t[q] != c)
            ++q;
        cursor.left = p + 1;
        cursor.right = q - 1;
        cursor.next = t[q] != 0 ? q + 1 : q;
        cursor.flags |= kCursorQuoted;
        return value ? TokenKind::Value : TokenKind::Name;
    }
    if (!value && c == u'=') {
        cursor.left = cursor.right = p;
        cursor.next = p + 1;
        isEquals = true;
        return TokenKind::Name;
    }
    if (!value && (c == u'/' || c == u'>' || c == u'?')) {
        // The end of the tag; the cursor stays before it.
        cursor.left = p;
        cursor.right = p - 1;
        cursor.next = p;
        return TokenKind::EndOfTag;
    }
    int q = p;
    if (value) {
        while (t[q] != 0 && !IsSpace(t[q]) && t[q] != u'>')
            ++q;
    } else {
        while (t[q] != 0 && !IsSpace(t[q]) && t[q] != u'=' && t[q] != u'>' && t[q] != u'/' &&
               t[q] != u'?')
            ++q;
    }
    if (q == p)
        q = p + 1; // an empty run is a token of one unit
    cursor.left = p;
    cursor.right = q - 1;
    cursor.next = q;
    return value ? TokenKind::Value : TokenKind::Name;
}

} // namespace

bool SeekAttribute(SCAN_CURSOR& cursor, std::u16string_view name) {
    bool first = true; // the first name token is the tag's own name
    bool valueNext = false;
    for (;;) {
        bool isEquals;
        TokenKind kind = NextTagToken(cursor, valueNext, isEquals);
        if (kind == TokenKind::EndOfText || kind == TokenKind::EndOfTag)
            return false;
        if (isEquals) {
            valueNext = true;
            continue;
        }
        valueNext = false;
        if (kind == TokenKind::Value)
            continue;
        if (first) {
            first = false;
            continue;
        }
        if (!CursorMatches(cursor, name))
            continue;
        // Found: the value after an '=' becomes the token; anything else
        // leaves the name itself as the token.
        const SCAN_CURSOR found = cursor;
        NextTagToken(cursor, false, isEquals);
        if (!isEquals) {
            cursor = found;
            return true;
        }
        NextTagToken(cursor, true, isEquals);
        return true;
    }
}

} // namespace orv
