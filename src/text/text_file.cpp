#include "text/text_file.h"

#include "base/wstr.h"
#include "platform/platform.h"
#include "text/xml_doc.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orv {

namespace {

// Encoding detection looks at no more than this many bytes.
constexpr std::size_t kDetectBytes = 1024;

// The file being read. The whole file is read at once; `position` stands for
// the file position.
struct TEXT_SOURCE {
    std::string bytes;
    std::size_t position = 0;
    int flags = 0;
    std::size_t bytesLeft = 0; // after any byte-order mark
    std::size_t bytesToRead = 0;
    int unitSize = 1;
    std::size_t unitsRead = 0;
    std::u16string report;
    std::u16string encoding; // empty: not yet known
    std::uint32_t error = 0;
};

// The platform's message for an error code: one line of at most 100 units.
std::u16string SystemErrorText(std::uint32_t code) {
    std::u16string text = Kernel().SystemErrorText(code);
    text = text.substr(0, text.find_first_of(u"\r\n"));
    if (text.size() > 100)
        text.resize(100);
    return text;
}

struct ByteOrderMark {
    const char* bytes;
    std::size_t length;
    const char16_t* encoding;
    int flag;
    int unitSize;
};

constexpr ByteOrderMark kMarks[] = {
    {"\xEF\xBB\xBF", 3, u"UTF-8", kXmlUtf8Bom, 1},
    {"\xFF\xFE", 2, u"UTF-16LE", kXmlUtf16Bom, 2},
    {"\xFE\xFF", 2, u"UTF-16BE", kXmlUtf16BeBom, 2},
};

bool OpenSource(TEXT_SOURCE& src, std::u16string_view path) {
    src.report.clear();
    if (Files().ReadAllUpTo(path, kMaxTextFileBytes, src.bytes, src.error) != ReadResult::Ok) {
        src.report = SystemErrorText(src.error);
        return false;
    }
    // The marks of an earlier file must not outlive it, nor make a later
    // 8-bit file read as UTF-16.
    src.flags &= ~(kXmlUtf16Bom | kXmlUtf8Bom | kXmlUtf16BeBom);
    src.bytesLeft = src.bytes.size();
    src.unitSize = 1;
    src.position = 0;
    bool marked = false;
    if (!src.bytes.empty()) {
        const std::size_t head = std::min(src.bytes.size(), kDetectBytes);
        for (const ByteOrderMark& mark : kMarks) {
            if (head >= mark.length &&
                std::memcmp(src.bytes.data(), mark.bytes, mark.length) == 0) {
                src.bytesLeft -= mark.length;
                src.position = mark.length;
                src.flags |= mark.flag;
                src.unitSize = mark.unitSize;
                src.encoding = mark.encoding;
                marked = true;
                break;
            }
        }
        if (!marked) {
            std::u16string text(head, u'\0');
            CONVERSION conversion;
            conversion.target = u"UTF-16";
            conversion.source = u"UTF-8";
            conversion.data = src.bytes.data();
            conversion.sourceCount = static_cast<int>(head);
            conversion.resultCount = static_cast<int>(head);
            text.resize(ConvertText(conversion, text.data()));
            src.encoding = FindCharsetDeclaration(text);
        }
        if (src.encoding.empty() && src.bytes[0] == '<')
            src.encoding = u"UTF-8";
    }
    if (!src.encoding.empty())
        src.report = src.encoding + (marked ? u" BOM + " : u" ");
    return true;
}

// Takes the bytes to read in units of the unit size, removes the zero units
// and swaps big-endian units, in place in the file's buffer; `raw` is then
// the units left. A trailing part of a unit is not read.
void ReadRaw(TEXT_SOURCE& src, std::string_view& raw) {
    const std::size_t size = static_cast<std::size_t>(src.unitSize);
    src.unitsRead = src.bytesToRead / size;
    src.report = FormatW(u"length %d ", static_cast<int>(src.unitsRead));

    char* const begin = src.bytes.data() + src.position;
    char* const end = begin + src.unitsRead * size;
    src.position += src.unitsRead * size;
    char* out = begin;
    if (size == 1) {
        // Zero bytes are rare: move the runs between them.
        for (char* in = begin; in < end;) {
            char* zero = static_cast<char*>(std::memchr(in, 0, end - in));
            char* stop = zero != nullptr ? zero : end;
            if (out != in)
                std::memmove(out, in, stop - in);
            out += stop - in;
            in = stop + (zero != nullptr ? 1 : 0);
        }
    } else {
        static constexpr char kZero[4] = {};
        for (char* in = begin; in < end; in += size) {
            if (std::memcmp(in, kZero, size) == 0)
                continue;
            if (out != in)
                std::memcpy(out, in, size);
            out += size;
        }
    }
    const std::size_t kept = static_cast<std::size_t>(out - begin) / size;
    if (kept != src.unitsRead)
        src.report += FormatW(u"(%d nulls removed) ", static_cast<int>(src.unitsRead - kept));
    src.unitsRead = kept;
    raw = std::string_view(begin, kept * size);

    const bool bigEndian =
        size == 2 ? (src.flags & kXmlUtf16BeBom) != 0 : size == 4 && src.encoding.ends_with(u"BE");
    if (bigEndian) {
        for (char* unit = begin; unit < out; unit += size)
            std::reverse(unit, unit + size);
        src.report += u"endian swap ";
    }
}

bool ReadAsWide(TEXT_SOURCE& src, std::u16string& text) {
    src.report.clear();
    if (src.bytesToRead == 0) {
        src.report = u"0 length ";
        return true;
    }
    std::string_view raw;
    if (src.flags & (kXmlUtf16Bom | kXmlUtf16BeBom)) {
        text.reserve(src.bytesToRead / 2 + src.bytesToRead / 200);
        ReadRaw(src, raw);
        text.resize(src.unitsRead);
        std::memcpy(text.data(), raw.data(), raw.size());
        return true;
    }

    // UTF-32 is read in 32-bit units, so that its zero bytes stay and the
    // conversion is given a count of 32-bit values.
    if (CodePageFromName(src.encoding) == kCodePageUtf32)
        src.unitSize = 4;
    ReadRaw(src, raw);
    if (src.encoding.empty()) {
        if (LooksLikeUtf8(reinterpret_cast<const unsigned char*>(raw.data()), raw.size()))
            src.encoding = u"UTF-8";
        src.report += u"(used UTF-8 detection) ";
    }
    CONVERSION conversion;
    conversion.target = u"UTF-16";
    conversion.source = src.encoding;
    conversion.data = raw.data();
    conversion.sourceCount = static_cast<int>(src.unitsRead);
    const int n = ConvertText(conversion, nullptr);
    text.reserve(static_cast<std::size_t>(n) + n / 100);
    text.resize(n);
    conversion.resultCount = n;
    text.resize(n > 0 ? ConvertText(conversion, text.data()) : 0);
    src.report += FormatW(u"to %d wide chars ", n);
    return true;
}

} // namespace

bool ReadWholeFile(std::u16string_view path, std::u16string& text, std::u16string* report,
                   int* flags) {
    TEXT_SOURCE src;
    src.flags = (flags != nullptr ? *flags : 0) | kXmlFileOpen;
    const bool opened = OpenSource(src, path);
    const std::u16string openReport = src.report;
    text.clear();
    bool read = false;
    if (opened) {
        src.bytesToRead = src.bytesLeft;
        read = ReadAsWide(src, text);
        src.bytes.clear(); // closed
        src.flags &= ~kXmlFileOpen;
        if (flags != nullptr)
            *flags = src.flags;
    }
    if (report != nullptr) {
        if (!opened)
            *report = openReport;
        else if (!openReport.empty())
            *report = openReport + src.report;
        else
            *report = (src.encoding.empty() ? u"ANSI " : src.encoding + u" ") + src.report;
    }
    return read;
}

bool LooksLikeUtf8(const unsigned char* bytes, std::size_t count) {
    std::size_t i = 0;
    while (i < count && bytes[i] != 0) {
        const unsigned char b = bytes[i++];
        if (b < 0x80)
            continue;
        // Only the bits that announce the continuation bytes are tested.
        int follow;
        if (!(b & 0x20))
            follow = 1;
        else if (!(b & 0x10))
            follow = 2;
        else if (!(b & 0x08))
            follow = 3;
        else
            return false;
        for (; follow > 0; --follow, ++i)
            if (i >= count || !(bytes[i] & 0x80))
                return false;
    }
    return true;
}

std::u16string FindCharsetDeclaration(const std::u16string& text) {
    SCAN_CURSOR cursor;
    cursor.text = text.c_str();
    cursor.flags = kXmlIgnoreCase;
    SCAN_NODE node;
    bool html = false;
    for (;;) {
        const int type = ScanNode(cursor, node);
        if (type == kNodeMalformed || type == kNodeEnd)
            return {};
        const int after = cursor.next;
        if (type == kNodeProcessing && cursor.left == 0) {
            // Only the first processing instruction, before any tag, counts.
            cursor.next = node.start + 2;
            ScanName(cursor);
            if (CursorMatches(cursor, u"xml"))
                return SeekAttribute(cursor, u"encoding") ? CursorText(cursor) : u"";
        } else if (type == kNodeEndTag) {
            cursor.next = node.start + 2;
            ScanName(cursor);
            if (CursorMatches(cursor, u"head"))
                return {};
        } else if (type == kNodeElement) {
            cursor.next = node.start + 1;
            ScanName(cursor);
            if (!html) {
                if (!CursorMatches(cursor, u"html"))
                    return {};
                html = true;
            } else if (CursorMatches(cursor, u"meta")) {
                cursor.next = node.start + 1;
                if (SeekAttribute(cursor, u"http-equiv") &&
                    CursorMatches(cursor, u"Content-Type")) {
                    cursor.next = node.start + 1;
                    if (!SeekAttribute(cursor, u"content"))
                        return {};
                    // "text/html; charset=utf-8": the name after "charset" and "=".
                    const int end = cursor.right;
                    cursor.next = cursor.left;
                    int state = 0;
                    while (ScanName(cursor) && cursor.right <= end) {
                        if (state == 2)
                            return CursorText(cursor);
                        if (state == 1 && cursor.left == cursor.right && text[cursor.left] == u'=')
                            state = 2;
                        else
                            state = CursorMatches(cursor, u"charset") ? 1 : 0;
                    }
                    return {};
                }
            }
        }
        cursor.next = after;
    }
}

int ConvertText(CONVERSION& conversion, char16_t* out) {
    conversion.unmapped = 0;
    int target = CodePageFromName(conversion.target);
    int source = CodePageFromName(conversion.source);
    if (target < 0)
        target = 0;
    if (source < 0)
        source = 0;
    const int capacity = out != nullptr ? conversion.resultCount : 0;
    if (target != kCodePageUtf16 || conversion.sourceCount <= 0)
        return 0;
    if (source == kCodePageUtf16) {
        // The platform's wide-to-multibyte conversion refuses UTF-16 as its
        // target, so a file declaring UTF-16 without a byte-order mark reads
        // as empty text.
        return 0;
    }
    if (source != kCodePageUtf32)
        return CodePages().ToWide(static_cast<std::uint32_t>(source),
                                  static_cast<const char*>(conversion.data), conversion.sourceCount,
                                  out, capacity);

    const auto* in = static_cast<const unsigned char*>(conversion.data);
    int n = 0;
    auto put = [&](char16_t unit) {
        if (out != nullptr && n < capacity)
            out[n] = unit;
        ++n;
    };
    for (int i = 0; i < conversion.sourceCount; ++i, in += 4) {
        std::uint32_t v;
        std::memcpy(&v, in, 4);
        if (v < 0x10000) {
            put(static_cast<char16_t>(v));
        } else if (v <= 0x10FFFF) {
            put(static_cast<char16_t>(0xD800 | (((v - 0x10000) >> 10) & 0x3FF)));
            put(static_cast<char16_t>(0xDC00 | (v & 0x3FF)));
        } else {
            // Not a character: it would otherwise turn into an unrelated pair.
            put(0xFFFD);
            ++conversion.unmapped;
        }
    }
    return out != nullptr ? std::min(n, capacity) : n;
}

void CXmlDoc::LoadFile(std::u16string_view path) {
    if (ReadWholeFile(path, m_strText, &m_strReport, &m_nFlags))
        BuildTree();
}

} // namespace orv
