#include "storage/ini_text.h"

#include "base/wstr.h"
#include "platform/platform.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace orv::ini {

namespace {

// The characters the platform's INI reader strips around names and values:
// tab to carriage return, the DOS end-of-file mark and the space.
bool IsBlank(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

std::u16string_view Trim(std::u16string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// A name or value ends where the platform's C strings would end, and a value
// never spans lines.
std::u16string_view UpToBreak(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == 0 || s[i] == u'\r' || s[i] == u'\n')
            return s.substr(0, i);
    return s;
}

bool IsAscii(std::string_view bytes) {
    for (char b : bytes)
        if (static_cast<unsigned char>(b) >= 0x80)
            return false;
    return true;
}

bool IsAscii(std::u16string_view text) {
    for (char16_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// 8-bit files are text in the system's ANSI code page, as the platform's INI
// functions read and create them. ASCII is the same in every such page, so
// only lines beyond it go to the platform's conversion; what it cannot map
// reads as the platform's readers see it.
std::u16string DecodeAnsi(std::string_view bytes) {
    if (IsAscii(bytes))
        return std::u16string(bytes.begin(), bytes.end());
    const int count = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
    int n = CodePages().ToWide(kAnsiCodePage, bytes.data(), count, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(n), u'\0');
    if (n > 0)
        n = CodePages().ToWide(kAnsiCodePage, bytes.data(), count, text.data(), n);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// Appends the text in the ANSI code page; false when a character has no exact
// form there.
bool AppendAnsi(std::u16string_view text, std::string& out) {
    if (IsAscii(text)) {
        out.append(text.begin(), text.end());
        return true;
    }
    std::string bytes;
    if (!CodePages().FromWide(kAnsiCodePage, text, bytes))
        return false;
    out += bytes;
    return true;
}

// UTF-8 has no form for half of a surrogate pair.
bool HasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return true;
    }
    return false;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text(bytes.size() / 2, u'\0');
    if (!bigEndian && std::endian::native == std::endian::little) {
        std::memcpy(text.data(), bytes.data(), text.size() * 2);
        return text;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        text[i] = static_cast<char16_t>(lo | (hi << 8));
    }
    return text;
}

void AppendUtf16(std::string& out, std::u16string_view text, bool bigEndian) {
    std::size_t at = out.size();
    out.resize(at + text.size() * 2);
    if (!bigEndian && std::endian::native == std::endian::little) {
        std::memcpy(out.data() + at, text.data(), text.size() * 2);
        return;
    }
    for (char16_t c : text) {
        out[at + (bigEndian ? 1 : 0)] = static_cast<char>(c & 0xFF);
        out[at + (bigEndian ? 0 : 1)] = static_cast<char>(c >> 8);
        at += 2;
    }
}

// Hex digit values for the units below 128; -1 for anything else.
struct HexTable {
    int value[128];
    constexpr HexTable() : value() {
        for (int c = 0; c < 128; ++c)
            value[c] = c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                              : -1;
    }
};
constexpr HexTable kHexTable;

int HexByte(char16_t hi, char16_t lo) {
    if (hi >= 128 || lo >= 128)
        return -1;
    int h = kHexTable.value[hi], l = kHexTable.value[lo];
    return h < 0 || l < 0 ? -1 : h << 4 | l;
}

// The units of a file's text, decoded on demand from its bytes. An 8-bit
// file is split into lines on its bytes (no ANSI code page uses CR or LF
// inside a character) and decoded a line at a time.
class Units {
public:
    explicit Units(std::string_view bytes) {
        if (bytes.substr(0, 2) == "\xFF\xFE") {
            m_encoding = Encoding::Utf16Le;
            m_raw = bytes.substr(2);
        } else if (bytes.substr(0, 2) == "\xFE\xFF") {
            m_encoding = Encoding::Utf16Be;
            m_raw = bytes.substr(2);
        } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            m_encoding = Encoding::Utf8;
            m_text = FromUtf8(bytes.substr(3));
        } else {
            m_encoding = Encoding::Ansi;
            m_raw = bytes;
        }
    }
    Encoding encoding() const { return m_encoding; }
    bool utf16() const {
        return m_encoding == Encoding::Utf16Le || m_encoding == Encoding::Utf16Be;
    }
    bool ansi() const { return m_encoding == Encoding::Ansi; }
    std::size_t size() const {
        return utf16() ? m_raw.size() / 2 : ansi() ? m_raw.size() : m_text.size();
    }
    // In an 8-bit file, the byte: enough to find the line breaks.
    char16_t operator[](std::size_t i) const {
        if (ansi())
            return static_cast<unsigned char>(m_raw[i]);
        if (!utf16())
            return m_text[i];
        auto a = static_cast<unsigned char>(m_raw[2 * i]);
        auto b = static_cast<unsigned char>(m_raw[2 * i + 1]);
        return static_cast<char16_t>(m_encoding == Encoding::Utf16Le ? a | b << 8 : b | a << 8);
    }
    std::u16string Slice(std::size_t begin, std::size_t end) const {
        if (ansi())
            return DecodeAnsi(Bytes(begin, end));
        if (!utf16())
            return m_text.substr(begin, end - begin);
        return DecodeUtf16(m_raw.substr(2 * begin, 2 * (end - begin)),
                           m_encoding == Encoding::Utf16Be);
    }
    // The bytes of an 8-bit file.
    std::string_view Bytes(std::size_t begin, std::size_t end) const {
        return m_raw.substr(begin, end - begin);
    }

private:
    Encoding m_encoding;
    std::string_view m_raw; // UTF-16 units, or the bytes of an 8-bit file
    std::u16string m_text;  // UTF-8, decoded
};

} // namespace

Document Document::Parse(std::string_view bytes) {
    Document doc;
    if (bytes.empty())
        return doc;
    const Units units(bytes);
    doc.m_encoding = units.encoding();
    std::size_t start = 0;
    const std::size_t n = units.size();
    while (start < n) {
        std::size_t end = start;
        char16_t c = 0;
        while (end < n && (c = units[end]) != u'\r' && c != u'\n')
            ++end;
        Line line;
        line.text = units.Slice(start, end);
        if (units.ansi()) {
            line.bytes = units.Bytes(start, end);
            line.ownBytes = true;
        }
        if (end == n) {
            line.eol = Eol::None;
            start = n;
        } else if (c == u'\r' && end + 1 < n && units[end + 1] == u'\n') {
            line.eol = Eol::CrLf;
            start = end + 2;
        } else {
            line.eol = c == u'\r' ? Eol::Cr : Eol::Lf;
            start = end + 1;
        }
        Classify(line);
        doc.m_lines.push_back(std::move(line));
    }
    return doc;
}

std::string_view Document::EolBytes(Eol eol) {
    switch (eol) {
    case Eol::None:
        break;
    case Eol::CrLf:
        return "\r\n";
    case Eol::Lf:
        return "\n";
    case Eol::Cr:
        return "\r";
    }
    return {};
}

// Lines the service has not changed go out as the bytes they came in, so a
// byte that the code page leaves undefined, or a broken double-byte pair, is
// never turned into a replacement character by a rewrite.
bool Document::SerializeAnsi(std::string& out) const {
    std::size_t total = 0;
    for (const Line& line : m_lines)
        total += (line.ownBytes ? line.bytes.size() : line.text.size()) + 2;
    out.clear();
    out.reserve(total);
    for (const Line& line : m_lines) {
        if (line.ownBytes)
            out += line.bytes;
        else if (!AppendAnsi(line.text, out))
            return false;
        out += EolBytes(line.eol);
    }
    return true;
}

std::string Document::Serialize() const {
    // A file keeps its encoding unless that would lose a character; then it
    // becomes UTF-16LE, which holds every one and which the platform reads.
    // An 8-bit file's lines then hold what the platform's readers saw in them.
    std::string out;
    if (m_encoding == Encoding::Ansi && SerializeAnsi(out))
        return out;

    std::u16string text;
    std::size_t total = 0;
    for (const Line& line : m_lines)
        total += line.text.size() + 2;
    text.reserve(total);
    for (const Line& line : m_lines) {
        text += line.text;
        const std::string_view eol = EolBytes(line.eol);
        text.append(eol.begin(), eol.end());
    }

    switch (m_encoding) {
    case Encoding::Utf8:
        if (!HasLoneSurrogate(text))
            return "\xEF\xBB\xBF" + ToUtf8(text);
        break;
    case Encoding::Utf16Be:
        out = "\xFE\xFF";
        AppendUtf16(out, text, true);
        return out;
    case Encoding::Utf16Le:
    case Encoding::Ansi:
        break;
    }
    out.clear();
    out.reserve(2 + text.size() * 2);
    out = "\xFF\xFE";
    AppendUtf16(out, text, false);
    return out;
}

void Document::Classify(Line& line) {
    line.kind = Kind::Blank;
    line.hasValue = false;
    line.nameBegin = line.nameEnd = line.valueBegin = line.valueEnd = 0;
    std::u16string_view text = line.text;
    std::size_t end = text.find(u'\0');
    if (end == std::u16string_view::npos)
        end = text.size();
    std::size_t p = 0;
    while (p < end && IsBlank(text[p]))
        ++p;
    if (p == end)
        return;

    auto setName = [&](std::size_t b, std::size_t e) {
        std::u16string_view name = Trim(text.substr(b, e - b));
        line.nameBegin = static_cast<std::uint32_t>(name.data() - text.data());
        line.nameEnd = static_cast<std::uint32_t>(line.nameBegin + name.size());
    };

    if (text[p] == u'[') {
        std::size_t close = text.substr(0, end).rfind(u']');
        if (close != std::u16string_view::npos && close > p) {
            line.kind = Kind::Section;
            setName(p + 1, close);
            return;
        }
    }
    line.kind = text[p] == u';' || text[p] == u'#' ? Kind::Comment : Kind::Entry;
    std::size_t eq = text.substr(0, end).find(u'=', p);
    if (eq == std::u16string_view::npos) {
        setName(p, end);
        return;
    }
    setName(p, eq);
    std::u16string_view value = Trim(text.substr(eq + 1, end - eq - 1));
    line.valueBegin = static_cast<std::uint32_t>(value.data() - text.data());
    line.valueEnd = static_cast<std::uint32_t>(line.valueBegin + value.size());
    line.hasValue = true;
}

Document::Range Document::SectionRange(std::u16string_view name) const {
    name = Trim(UpToBreak(name));
    std::size_t i = 0;
    if (name.empty()) {
        // The lines before the first section line.
        while (i < m_lines.size() && m_lines[i].kind != Kind::Section)
            ++i;
        return {0, i, true};
    }
    for (; i < m_lines.size(); ++i)
        if (m_lines[i].kind == Kind::Section && EqualsNoCase(m_lines[i].Name(), name))
            break;
    if (i == m_lines.size())
        return {i, i, false};
    std::size_t end = i + 1;
    while (end < m_lines.size() && m_lines[end].kind != Kind::Section)
        ++end;
    return {i + 1, end, true};
}

std::optional<std::u16string_view> Document::Find(std::u16string_view section,
                                                  std::u16string_view key) const {
    Range range = SectionRange(section);
    if (!range.found)
        return std::nullopt;
    key = Trim(UpToBreak(key));
    // A comment line is a key like any other to the platform's reader: the
    // first line of that name answers, with or without a value.
    for (std::size_t i = range.begin; i < range.end; ++i) {
        const Line& line = m_lines[i];
        if (line.kind != Kind::Entry && line.kind != Kind::Comment)
            continue;
        if (EqualsNoCase(line.Name(), key)) {
            if (!line.hasValue)
                return std::nullopt;
            return line.Value();
        }
    }
    return std::nullopt;
}

std::vector<std::pair<std::u16string, std::u16string>> Document::Keys() const {
    std::vector<std::pair<std::u16string, std::u16string>> keys;
    std::u16string_view section;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section)
            section = line.Name();
        else if (line.kind == Kind::Entry && line.hasValue)
            keys.emplace_back(section, line.Name());
    }
    return keys;
}

void Document::AddLine(std::size_t at, std::u16string text) {
    if (at > 0 && m_lines[at - 1].eol == Eol::None)
        m_lines[at - 1].eol = Eol::CrLf;
    Line line;
    line.text = std::move(text);
    line.eol = Eol::CrLf;
    Classify(line);
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

bool Document::Set(std::u16string_view section, std::u16string_view key,
                   std::u16string_view value) {
    section = Trim(UpToBreak(section));
    key = Trim(UpToBreak(key));
    value = UpToBreak(value);

    std::u16string entry(key);
    entry += u'=';
    entry += value;
    Range range = SectionRange(section);
    if (!range.found) {
        std::u16string header(1, u'[');
        header += section;
        header += u']';
        AddLine(m_lines.size(), std::move(header));
        AddLine(m_lines.size(), std::move(entry));
        return true;
    }
    // New keys follow the last entry of the section, so that blank lines and
    // comments that lead into the next section stay with it.
    std::size_t insertAt = range.begin;
    for (std::size_t i = range.begin; i < range.end; ++i) {
        Line& line = m_lines[i];
        if (line.kind == Kind::Entry)
            insertAt = i + 1;
        if ((line.kind != Kind::Entry && line.kind != Kind::Comment) ||
            !EqualsNoCase(line.Name(), key))
            continue;
        if (line.hasValue && line.Value() == value)
            return false;
        // Keep the file's own spelling of the key.
        std::u16string text(line.Name());
        text += u'=';
        text += value;
        line.text = std::move(text);
        line.ownBytes = false;
        line.bytes.clear();
        Classify(line);
        return true;
    }
    AddLine(insertAt, std::move(entry));
    return true;
}

std::u16string_view StripQuotes(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::int32_t ParseInteger(std::u16string_view text) {
    std::size_t p = 0;
    while (p < text.size() && text[p] <= u' ')
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == u'-' || text[p] == u'+')) {
        negative = text[p] == u'-';
        ++p;
    }
    unsigned base = 10;
    if (p + 1 < text.size() && text[p] == u'0') {
        switch (text[p + 1]) {
        case u'x':
            base = 16;
            break;
        case u'o':
            base = 8;
            break;
        case u'b':
            base = 2;
            break;
        default:
            break;
        }
        if (base != 10)
            p += 2;
    }
    std::uint32_t total = 0;
    for (; p < text.size(); ++p) {
        char16_t c = text[p];
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'z')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'Z')
            digit = c - u'A' + 10;
        else
            break;
        if (digit >= base)
            break;
        total = total * base + digit;
    }
    return static_cast<std::int32_t>(negative ? 0u - total : total);
}

std::u16string EncodeStruct(const void* data, std::size_t size) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::u16string text(size * 2 + 2, u'0');
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = kHex[bytes[i] >> 4];
        text[2 * i + 1] = kHex[bytes[i] & 0xF];
        sum += bytes[i];
    }
    text[2 * size] = kHex[(sum >> 4) & 0xF];
    text[2 * size + 1] = kHex[sum & 0xF];
    return text;
}

bool DecodeStruct(std::u16string_view value, void* data, std::size_t size) {
    if (value.size() != size * 2 + 2)
        return false;
    // Check everything before touching the record: it is all or nothing.
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        int b = HexByte(value[2 * i], value[2 * i + 1]);
        if (b < 0)
            return false;
        sum += static_cast<unsigned>(b);
    }
    if (HexByte(value[2 * size], value[2 * size + 1]) != static_cast<int>(sum & 0xFF))
        return false;
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(HexByte(value[2 * i], value[2 * i + 1]));
    return true;
}

} // namespace orv::ini
