#include "base/wstr.h"

#include <cstdarg>

namespace orv {

std::size_t BoundedLength(const char16_t* s, std::size_t cap) {
    std::size_t n = 0;
    while (n < cap && s[n] != 0)
        ++n;
    return n;
}

std::u16string_view FieldText(const char16_t* field, std::size_t cap) {
    return std::u16string_view(field, BoundedLength(field, cap));
}

void CopyToField(char16_t* field, std::size_t cap, std::u16string_view src) {
    if (cap == 0)
        return;
    std::size_t n = src.size() < cap - 1 ? src.size() : cap - 1;
    for (std::size_t i = 0; i < n; ++i)
        field[i] = src[i];
    field[n] = 0;
}

namespace {

void AppendPadded(std::u16string& out, std::u16string_view body, std::size_t width, bool left,
                  char16_t pad) {
    std::size_t fill = body.size() < width ? width - body.size() : 0;
    if (!left && pad == u'0' && !body.empty() && body[0] == u'-') {
        out += u'-';
        out.append(fill, u'0');
        out.append(body.substr(1));
        return;
    }
    if (!left)
        out.append(fill, pad);
    out.append(body);
    if (left)
        out.append(fill, u' ');
}

std::u16string Digits(unsigned long long v, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t buf[32];
    int n = 0;
    do {
        buf[n++] = static_cast<char16_t>(digits[v % base]);
        v /= base;
    } while (v != 0);
    std::u16string s;
    while (n > 0)
        s += buf[--n];
    return s;
}

} // namespace

std::u16string FormatW(const char16_t* fmt, ...) {
    std::u16string out;
    va_list ap;
    va_start(ap, fmt);
    for (const char16_t* p = fmt; *p != 0; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        bool left = false;
        char16_t pad = u' ';
        for (;; ++p) {
            if (*p == u'-')
                left = true;
            else if (*p == u'0')
                pad = u'0';
            else
                break;
        }
        std::size_t width = 0;
        while (*p >= u'0' && *p <= u'9')
            width = width * 10 + static_cast<std::size_t>(*p++ - u'0');
        switch (*p) {
        case u'd':
        case u'i': {
            int v = va_arg(ap, int);
            long long w = v;
            std::u16string body =
                Digits(static_cast<unsigned long long>(w < 0 ? -w : w), 10, false);
            if (w < 0)
                body.insert(body.begin(), u'-');
            AppendPadded(out, body, width, left, pad);
            break;
        }
        case u'u':
            AppendPadded(out, Digits(va_arg(ap, unsigned), 10, false), width, left, pad);
            break;
        case u'x':
        case u'X':
            AppendPadded(out, Digits(va_arg(ap, unsigned), 16, *p == u'X'), width, left, pad);
            break;
        case u'c':
            AppendPadded(out, std::u16string(1, static_cast<char16_t>(va_arg(ap, int))), width,
                         left, u' ');
            break;
        case u's': {
            const char16_t* s = va_arg(ap, const char16_t*);
            AppendPadded(out, s ? std::u16string_view(s) : u"(null)", width, left, u' ');
            break;
        }
        case u'%':
            out += u'%';
            break;
        case 0:
            --p; // a lone '%' at the end is dropped
            break;
        default:
            out += u'%';
            out += *p;
            break;
        }
    }
    va_end(ap);
    return out;
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c;
        std::size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            extra = 3;
        } else {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= extra && i + j < s.size(); ++j) {
            unsigned char t = static_cast<unsigned char>(s[i + j]);
            if ((t & 0xC0) != 0x80)
                break;
            c = (c << 6) | (t & 0x3F);
        }
        bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
        if (j <= extra || overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\xFFFD';
            i += j;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += extra + 1;
    }
    return out;
}

std::u16string Widen(std::string_view ascii) {
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 0x20);
    if (c < 0xE0)
        return c;
    if (c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string FoldedCopy(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

PathParts SplitPath(std::u16string_view path) {
    PathParts parts;
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == u':') {
        parts.drive = std::u16string(path.substr(0, 2));
        pos = 2;
    }
    std::u16string_view rest = path.substr(pos);
    std::size_t lastSep = rest.find_last_of(u"\\/");
    std::u16string_view file = rest;
    if (lastSep != std::u16string_view::npos) {
        parts.dir = std::u16string(rest.substr(0, lastSep + 1));
        file = rest.substr(lastSep + 1);
    }
    std::size_t dot = file.find_last_of(u'.');
    if (dot == std::u16string_view::npos) {
        parts.name = std::u16string(file);
    } else {
        parts.name = std::u16string(file.substr(0, dot));
        parts.ext = std::u16string(file.substr(dot));
    }
    return parts;
}

std::u16string FolderOf(std::u16string_view path) {
    PathParts parts = SplitPath(path);
    return parts.drive + parts.dir;
}

std::u16string FileNameOf(std::u16string_view path) {
    PathParts parts = SplitPath(path);
    return parts.name + parts.ext;
}

} // namespace orv
