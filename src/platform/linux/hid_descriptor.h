// The report descriptor of one hidraw node, read as far as the service needs
// it: the top-level collections with their usage page and usage, the report
// ids used in each, and the length of each kind of report. Windows lists
// every top-level collection as a device of its own with these figures; on
// Linux one node is one interface, which may hold several collections, so
// the Linux HID stack derives them from the descriptor itself.
//
// The bytes come from the device, so they are not trusted: a truncated item,
// an End Collection without its Collection, a collection left open, a Pop
// with nothing pushed, a report id of 0 or a report too long to count make
// the whole descriptor invalid, and nothing is read outside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv::linux_ {

// One top-level collection. Lengths count byte 0, the report id, which is
// there (as 0) also when the interface numbers no reports, as on Windows;
// 0 means the collection has no report of that kind.
struct HidTopCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<std::uint8_t> reportIds; // ascending; empty without report ids
    std::uint16_t inputLength = 0;
    std::uint16_t outputLength = 0;
    std::uint16_t featureLength = 0;
};

struct HidDescriptorInfo {
    bool usesReportIds = false;
    std::vector<HidTopCollection> collections;
};

// The collections of a descriptor, in the order they appear; nullopt (with
// the reason in `error` when given) when the bytes are malformed.
std::optional<HidDescriptorInfo> ParseHidDescriptor(const std::uint8_t* data, std::size_t size,
                                                    std::string* error = nullptr);

} // namespace orv::linux_
