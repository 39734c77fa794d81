#include "platform/host/host_codepages.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace orv::host {

namespace {

struct CodePageName {
    std::uint32_t codePage;
    const char* name;
};

// Every code page of the charset table that the C library can convert.
// Those it lacks (720, 1200, 1201, most Mac pages, 20000-20105, 29001,
// 52936, the ISCII pages) are absent and read as empty text.
constexpr CodePageName kNames[] = {
    {37, "IBM037"},
    {420, "IBM420"},
    {437, "IBM437"},
    {708, "ASMO-708"},
    {737, "CP737"},
    {775, "CP775"},
    {850, "IBM850"},
    {852, "IBM852"},
    {857, "IBM857"},
    {861, "IBM861"},
    {862, "IBM862"},
    {866, "IBM866"},
    {869, "IBM869"},
    {870, "IBM870"},
    {874, "CP874"},
    {875, "IBM875"},
    {932, "CP932"},
    {936, "CP936"},
    {949, "CP949"},
    {950, "BIG5"},
    {1026, "IBM1026"},
    {1140, "IBM1140"},
    {1142, "IBM1142"},
    {1143, "IBM1143"},
    {1144, "IBM1144"},
    {1145, "IBM1145"},
    {1146, "IBM1146"},
    {1147, "IBM1147"},
    {1148, "IBM1148"},
    {1149, "IBM1149"},
    {1250, "CP1250"},
    {1251, "CP1251"},
    {1252, "CP1252"},
    {1253, "CP1253"},
    {1254, "CP1254"},
    {1255, "CP1255"},
    {1256, "CP1256"},
    {1257, "CP1257"},
    {1258, "CP1258"},
    {1361, "JOHAB"},
    {10000, "MACINTOSH"},
    {10007, "MAC-CYRILLIC"},
    {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},
    {20106, "ISO646-DE"},
    {20107, "ISO646-SE"},
    {20108, "ISO646-NO"},
    {20127, "ANSI_X3.4-1968"},
    {20273, "IBM273"},
    {20277, "IBM277"},
    {20278, "IBM278"},
    {20280, "IBM280"},
    {20284, "IBM284"},
    {20285, "IBM285"},
    {20290, "IBM290"},
    {20423, "IBM423"},
    {20424, "IBM424"},
    {20833, "IBM833"},
    {20838, "IBM838"},
    {20866, "KOI8-R"},
    {20873, "IBM871"},
    {20880, "IBM880"},
    {20905, "IBM905"},
    {21025, "IBM1025"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28605, "ISO-8859-15"},
    {38598, "ISO-8859-8"},
    {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},
    {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"},
    {50930, "IBM930"},
    {50933, "IBM933"},
    {50935, "IBM935"},
    {50937, "IBM937"},
    {50939, "IBM939"},
    {51932, "EUC-JP"},
    {51936, "EUC-CN"},
    {51949, "EUC-KR"},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

constexpr const char* kWideName =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// The single-byte pages that Windows offers as a system's ANSI code page.
bool IsWindowsSingleByte(std::uint32_t codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

// What the platform's own conversion gives for a byte the C library rejects:
// in its single-byte pages, the bytes 0x80..0x9F that a page leaves unassigned
// pass through as the C1 controls of the same number.
char16_t Replacement(std::uint32_t codePage, unsigned char byte) {
    if (IsWindowsSingleByte(codePage) && byte >= 0x80 && byte <= 0x9F)
        return byte;
    return 0xFFFD;
}

} // namespace

HostCodePages::~HostCodePages() {
    for (auto& [codePage, converters] : m_open) {
        for (void* cd : {converters.toWide, converters.fromWide})
            if (cd != nullptr)
                iconv_close(static_cast<iconv_t>(cd));
    }
}

void HostCodePages::SetAnsiCodePage(std::uint32_t codePage) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_ansiCodePage = codePage;
}

std::uint32_t HostCodePages::AnsiCodePage() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ansiCodePage;
}

const char* HostCodePages::IconvName(std::uint32_t codePage) {
    for (const CodePageName& entry : kNames)
        if (entry.codePage == codePage)
            return entry.name;
    return nullptr;
}

const HostCodePages::Converters& HostCodePages::Open(std::uint32_t codePage) {
    auto it = m_open.find(codePage);
    if (it != m_open.end())
        return it->second;
    Converters converters;
    if (const char* name = IconvName(codePage)) {
        auto open = [](const char* to, const char* from) -> void* {
            iconv_t cd = iconv_open(to, from);
            return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
        };
        converters.toWide = open(kWideName, name);
        converters.fromWide = open(name, kWideName);
    }
    return m_open[codePage] = converters;
}

namespace {

// Where converted units go: the caller's buffer, or nowhere but a count
// (the sizing pass, which lets iconv write into a scratch buffer).
class Output {
public:
    Output(char16_t* out, int capacity)
        : m_out(out), m_capacity(static_cast<std::size_t>(capacity)), m_sizing(capacity == 0) {}

    std::size_t Count() const { return m_count; }

    bool Put(char16_t unit) {
        if (m_sizing) {
            ++m_count;
            return true;
        }
        if (m_count == m_capacity)
            return false;
        m_out[m_count++] = unit;
        return true;
    }
    bool PutAscii(const unsigned char* bytes, std::size_t n) {
        if (!m_sizing) {
            if (m_capacity - m_count < n)
                return false;
            char16_t* to = m_out + m_count;
            for (std::size_t i = 0; i < n; ++i)
                to[i] = bytes[i];
        }
        m_count += n;
        return true;
    }
    // One iconv call into the room left; false when the output is full.
    std::size_t Convert(iconv_t cd, char** in, std::size_t* left, bool& full) {
        char16_t* dest = m_sizing ? m_scratch : m_out + m_count;
        std::size_t room = (m_sizing ? std::size(m_scratch) : m_capacity - m_count) * 2;
        char* to = reinterpret_cast<char*>(dest);
        const std::size_t before = room;
        std::size_t result = iconv(cd, in, left, &to, &room);
        m_count += (before - room) / 2;
        full = result == static_cast<std::size_t>(-1) && errno == E2BIG && !m_sizing;
        return result;
    }

private:
    char16_t* m_out;
    std::size_t m_capacity;
    bool m_sizing;
    std::size_t m_count = 0;
    char16_t m_scratch[4096];
};

// Converts a whole piece of input, replacing what cannot be converted.
// `last`: the piece ends the input, so a cut-off sequence ends there.
bool ConvertPiece(iconv_t cd, std::uint32_t codePage, const char* data, std::size_t count,
                  bool last, Output& output) {
    char* in = const_cast<char*>(data);
    std::size_t left = count;
    while (left > 0) {
        bool full;
        if (output.Convert(cd, &in, &left, full) != static_cast<std::size_t>(-1))
            continue;
        if (full)
            return false;
        if (errno == E2BIG)
            continue; // a sizing pass counts on
        if (errno == EILSEQ || (errno == EINVAL && !last)) {
            if (!output.Put(Replacement(codePage, static_cast<unsigned char>(*in))))
                return false;
            ++in;
            --left;
        } else { // a sequence cut off by the end of the input
            if (!output.Put(0xFFFD))
                return false;
            left = 0;
        }
    }
    // Stateful encodings may still owe a closing sequence.
    for (;;) {
        bool full;
        if (output.Convert(cd, nullptr, nullptr, full) != static_cast<std::size_t>(-1))
            return true;
        if (full || errno != E2BIG)
            return !full;
    }
}

} // namespace

int HostCodePages::ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
                          int capacity) {
    std::lock_guard<std::mutex> guard(m_lock);
    return ToWideLocked(Resolve(codePage), data, count, out, capacity);
}

int HostCodePages::ToWideLocked(std::uint32_t codePage, const char* data, int count, char16_t* out,
                                int capacity) {
    if (count <= 0 || capacity < 0)
        return 0;
    auto cd = static_cast<iconv_t>(Open(codePage).toWide);
    if (cd == nullptr)
        return 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    Output output(out, capacity);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const std::size_t size = static_cast<std::size_t>(count);
    bool ok = true;
    if (codePage == 65001) {
        // UTF-8 text is mostly ASCII, which needs no converter: only the
        // runs of other bytes go through iconv.
        for (std::size_t i = 0; ok && i < size;) {
            std::size_t j = i;
            while (j < size && bytes[j] < 0x80)
                ++j;
            ok = output.PutAscii(bytes + i, j - i);
            for (i = j; j < size && bytes[j] >= 0x80;)
                ++j;
            if (ok && j > i)
                ok = ConvertPiece(cd, codePage, data + i, j - i, j == size, output);
            i = j;
        }
    } else {
        ok = ConvertPiece(cd, codePage, data, size, true, output);
    }
    if (!ok || output.Count() > 0x7FFFFFFF)
        return 0;
    return static_cast<int>(output.Count());
}

bool HostCodePages::FromWide(std::uint32_t codePage, std::u16string_view text, std::string& out) {
    out.clear();
    if (text.empty())
        return true;
    if (text.size() > 0x3FFFFFFF)
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    const std::uint32_t page = Resolve(codePage);
    auto cd = static_cast<iconv_t>(Open(page).fromWide);
    if (cd == nullptr)
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t left = text.size() * 2;
    std::size_t used = 0;
    out.resize(text.size() * 2 + 8);
    // One call of iconv into the room left, growing the room when it is full;
    // a null `in` asks for a closing shift sequence.
    auto convert = [&](char** from, std::size_t* fromLeft) {
        for (;;) {
            char* to = out.data() + used;
            std::size_t room = out.size() - used;
            std::size_t result = iconv(cd, from, fromLeft, &to, &room);
            used = static_cast<std::size_t>(to - out.data());
            if (result != static_cast<std::size_t>(-1) || errno != E2BIG)
                return result != static_cast<std::size_t>(-1);
            out.resize(out.size() * 2);
        }
    };
    while (left > 0) {
        if (convert(&in, &left))
            continue;
        if (errno != EILSEQ)
            return false; // half a surrogate pair at the end
        // The controls that the page's unassigned bytes read as go back to
        // those bytes; that they read back the same is checked below.
        char16_t unit;
        std::memcpy(&unit, in, sizeof unit);
        if (!IsWindowsSingleByte(page) || unit < 0x80 || unit > 0x9F)
            return false;
        if (used == out.size())
            out.resize(out.size() * 2);
        out[used++] = static_cast<char>(unit);
        in += 2;
        left -= 2;
    }
    if (!convert(nullptr, nullptr))
        return false;
    out.resize(used);
    // The C library maps a few characters onto the form of a look-alike;
    // only a conversion that reads back as the same text fits.
    const int count = static_cast<int>(out.size());
    const int n = ToWideLocked(page, out.data(), count, nullptr, 0);
    if (n != static_cast<int>(text.size()))
        return false;
    std::u16string back(static_cast<std::size_t>(n), u'\0');
    return ToWideLocked(page, out.data(), count, back.data(), n) == n && back == text;
}

} // namespace orv::host
