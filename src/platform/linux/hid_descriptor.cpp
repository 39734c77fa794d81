#include "platform/linux/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace orv::linux_ {

namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};

enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};

constexpr std::uint8_t kUsageTag = 0x0; // local
constexpr std::uint8_t kLongItem = 0xFE;
// Deep enough for any real descriptor, small enough that a hostile one
// cannot make the parser hold much.
constexpr std::size_t kMaxPushDepth = 32;
// A report's bytes, with byte 0, must fit the 16-bit lengths.
constexpr std::uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

enum Kind { kInputKind, kOutputKind, kFeatureKind, kKinds };

struct Globals {
    std::uint16_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct Item {
    std::uint8_t type;
    std::uint8_t tag;
    std::uint32_t value;
    std::size_t size; // bytes of data
};

// The top-level collection being read: bits of each report, by report id.
struct OpenTop {
    HidTopCollection collection;
    std::map<std::uint8_t, std::array<std::uint64_t, kKinds>> bits;
};

std::uint32_t LittleEndian(const std::uint8_t* data, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    return value;
}

std::uint16_t ByteLength(std::uint64_t bits) {
    return bits == 0 ? 0 : static_cast<std::uint16_t>((bits + 7) / 8 + 1);
}

HidTopCollection Finish(OpenTop& top) {
    HidTopCollection out = top.collection;
    for (const auto& [id, bits] : top.bits) {
        if (id != 0)
            out.reportIds.push_back(id);
        out.inputLength = std::max(out.inputLength, ByteLength(bits[kInputKind]));
        out.outputLength = std::max(out.outputLength, ByteLength(bits[kOutputKind]));
        out.featureLength = std::max(out.featureLength, ByteLength(bits[kFeatureKind]));
    }
    return out;
}

std::optional<HidDescriptorInfo> Fail(const char* reason, std::string* error) {
    if (error != nullptr)
        *error = reason;
    return std::nullopt;
}

class Parser {
public:
    std::optional<HidDescriptorInfo> Run(const std::uint8_t* data, std::size_t size,
                                         std::string* error) {
        std::size_t at = 0;
        while (at < size) {
            if (data[at] == kLongItem) {
                // A long item carries no meaning here; only its length counts.
                if (size - at < 3)
                    return Fail("truncated long item", error);
                const std::size_t length = 3 + static_cast<std::size_t>(data[at + 1]);
                if (size - at < length)
                    return Fail("truncated long item", error);
                at += length;
                continue;
            }
            const std::uint8_t prefix = data[at];
            const std::size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
            if (size - at - 1 < dataSize)
                return Fail("truncated item", error);
            const Item item{static_cast<std::uint8_t>((prefix >> 2) & 3),
                            static_cast<std::uint8_t>(prefix >> 4),
                            LittleEndian(data + at + 1, dataSize), dataSize};
            at += 1 + dataSize;
            const char* fault = Take(item);
            if (fault != nullptr)
                return Fail(fault, error);
        }
        if (m_depth != 0)
            return Fail("collection not closed", error);
        return m_info;
    }

private:
    const char* Take(const Item& item) {
        switch (item.type) {
        case kMain:
            return TakeMain(item);
        case kGlobal:
            return TakeGlobal(item);
        case kLocal:
            TakeLocal(item);
            return nullptr;
        default:
            return nullptr; // reserved type: skipped
        }
    }

    const char* TakeMain(const Item& item) {
        const char* fault = nullptr;
        switch (item.tag) {
        case kCollection:
            if (m_depth++ == 0) {
                m_top = OpenTop{};
                m_top.collection.usagePage = m_usagePage.value_or(m_globals.usagePage);
                m_top.collection.usage = m_usage.value_or(0);
            }
            break;
        case kEndCollection:
            if (m_depth == 0) {
                fault = "end of a collection never opened";
                break;
            }
            if (--m_depth == 0)
                m_info.collections.push_back(Finish(m_top));
            break;
        case kInput:
            fault = Count(kInputKind);
            break;
        case kOutput:
            fault = Count(kOutputKind);
            break;
        case kFeature:
            fault = Count(kFeatureKind);
            break;
        default:
            break;
        }
        // Local items describe the main item they precede, and only that one.
        m_usage.reset();
        m_usagePage.reset();
        return fault;
    }

    const char* Count(Kind kind) {
        if (m_depth == 0)
            return nullptr; // outside every collection: belongs to none
        std::uint64_t& bits = m_top.bits[m_globals.reportId][kind];
        bits += static_cast<std::uint64_t>(m_globals.reportSize) * m_globals.reportCount;
        return bits > kMaxReportBits ? "report too long" : nullptr;
    }

    const char* TakeGlobal(const Item& item) {
        switch (item.tag) {
        case kUsagePage:
            m_globals.usagePage = static_cast<std::uint16_t>(item.value);
            break;
        case kReportSize:
            m_globals.reportSize = item.value;
            break;
        case kReportCount:
            m_globals.reportCount = item.value;
            break;
        case kReportId:
            if (item.value == 0 || item.value > 0xFF)
                return "report id out of range";
            m_globals.reportId = static_cast<std::uint8_t>(item.value);
            m_info.usesReportIds = true;
            break;
        case kPush:
            if (m_stack.size() == kMaxPushDepth)
                return "push too deep";
            m_stack.push_back(m_globals);
            break;
        case kPop:
            if (m_stack.empty())
                return "pop without push";
            m_globals = m_stack.back();
            m_stack.pop_back();
            break;
        default:
            break;
        }
        return nullptr;
    }

    void TakeLocal(const Item& item) {
        // The first usage names a collection; a four-byte usage carries its
        // own page in the high half.
        if (item.tag != kUsageTag || m_usage.has_value())
            return;
        m_usage = static_cast<std::uint16_t>(item.value & 0xFFFF);
        if (item.size == 4)
            m_usagePage = static_cast<std::uint16_t>(item.value >> 16);
    }

    HidDescriptorInfo m_info;
    Globals m_globals;
    std::vector<Globals> m_stack;
    std::optional<std::uint16_t> m_usage;
    std::optional<std::uint16_t> m_usagePage;
    std::size_t m_depth = 0;
    OpenTop m_top;
};

} // namespace

std::optional<HidDescriptorInfo> ParseHidDescriptor(const std::uint8_t* data, std::size_t size,
                                                    std::string* error) {
    if (data == nullptr && size != 0)
        return Fail("no bytes", error);
    return Parser().Run(data, size, error);
}

} // namespace orv::linux_
