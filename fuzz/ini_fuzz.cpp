// The INI text engine on arbitrary file bytes: nothing crashes, a file comes
// back byte for byte when nothing is edited, an edit changes only its own
// key, and what was written reads back after a save and a new parse. 8-bit
// files are read in a Western and in a double-byte ANSI code page.
#include "platform/host/host_platform.h"
#include "storage/ini_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace orv::ini;

namespace {

bool IsBlank(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

std::u16string Expected(std::u16string_view value) {
    std::size_t end = 0;
    while (end < value.size() && value[end] != 0 && value[end] != u'\r' && value[end] != u'\n')
        ++end;
    std::size_t b = 0;
    while (b < end && IsBlank(value[b]))
        ++b;
    while (end > b && IsBlank(value[end - 1]))
        --end;
    return std::u16string(value.substr(b, end - b));
}

std::optional<std::u16string> Get(const Document& doc, std::u16string_view s,
                                  std::u16string_view k) {
    auto v = doc.Find(s, k);
    return v ? std::optional<std::u16string>(std::u16string(*v)) : std::nullopt;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

constexpr std::u16string_view kProbes[][2] = {
    {u"Setting", u"Profile"}, {u"GROUP", u"LIGHT_INFO"}, {u"", u"top"}, {u"A", u"x"}, {u"a", u"X"},
};

void CheckOne(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Document doc = Document::Parse(bytes);

    std::string saved = doc.Serialize();
    bool lossless = doc.encoding() == Encoding::Ansi ||
                    ((doc.encoding() == Encoding::Utf16Le || doc.encoding() == Encoding::Utf16Be) &&
                     size % 2 == 0);
    if (lossless && size > 0)
        Check(saved == bytes);

    for (const auto& probe : kProbes) {
        if (auto v = doc.Find(probe[0], probe[1])) {
            unsigned char record[24];
            DecodeStruct(*v, record, sizeof record);
            ParseInteger(StripQuotes(*v));
        }
    }

    // Write a value taken from the input into a key of its own.
    std::u16string value;
    for (std::size_t i = 0; i + 1 < size && value.size() < 64; i += 2)
        value += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    std::optional<std::u16string> before[std::size(kProbes)];
    for (std::size_t i = 0; i < std::size(kProbes); ++i)
        before[i] = Get(doc, kProbes[i][0], kProbes[i][1]);
    doc.Set(u"Fuzz", u"k", value);
    Check(Get(doc, u"Fuzz", u"k") == Expected(value));

    Document again = Document::Parse(doc.Serialize());
    Check(Get(again, u"Fuzz", u"k") == Expected(value));
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        Check(Get(doc, kProbes[i][0], kProbes[i][1]) == before[i]);
        if (lossless)
            Check(Get(again, kProbes[i][0], kProbes[i][1]) == before[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orv::host::HostPlatform host;
    for (std::uint32_t codePage : {1252u, 932u}) {
        host.codepages.SetAnsiCodePage(codePage);
        CheckOne(data, size);
    }
    return 0;
}
