// Report descriptors come from whatever device is plugged in: any bytes, in a
// buffer of exactly their size so that a read past the end is caught. Besides
// the sanitizers, what a descriptor is read as must hold together: report ids
// only where the interface numbers its reports, each id once, never 0.
#include "platform/linux/hid_descriptor.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto info = orv::linux_::ParseHidDescriptor(bytes.data(), bytes.size());
    if (!info)
        return 0;
    for (const orv::linux_::HidTopCollection& c : info->collections) {
        if (!info->usesReportIds && !c.reportIds.empty())
            std::abort();
        for (std::size_t i = 0; i < c.reportIds.size(); ++i) {
            if (c.reportIds[i] == 0 || (i > 0 && c.reportIds[i] <= c.reportIds[i - 1]))
                std::abort();
        }
    }
    return 0;
}
