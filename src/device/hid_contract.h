// The parts of the device-access library's contract that every build of it
// shares: which collections a filter asks for, and the notice records handed
// to the notification window. Standard C++ only, so that both HidDevice.dll
// builds and the simulated keyboard of the host tests answer the same way.
#pragma once

#include "device/hid_library.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>

namespace orv {

// What a collection says about itself: the device's vendor and product ids
// and the usage page and usage of its top-level collection.
struct HidCollectionIdentity {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t usagePage;
    std::uint16_t usage;
};

// Whether the filter asks for this collection (see hid_library.h: no field
// is a wildcard, and only the first dwCount entries, at most ten, are read).
bool HidFilterMatches(const HID_DEVICE_FILTER& filter, const HidCollectionIdentity& collection);

// The notice records of one process. A posted notice is read whenever its
// message is handled, so a record must never move or change; identical
// notices share one record, so the store grows only with the number of
// distinct (status, device id, usage, usage page) notices, which the device
// ids and the filter's entries bound. Safe to use from any thread.
class CHidNoticeStore {
public:
    // The record with these contents; the same address for the same
    // contents, for as long as the store exists.
    const HID_NOTIFY_RECORD* Notice(std::uint32_t status, std::uint32_t deviceId,
                                    std::uint16_t usage, std::uint16_t usagePage);
    std::size_t Size() const;

private:
    struct Before {
        bool operator()(const HID_NOTIFY_RECORD& a, const HID_NOTIFY_RECORD& b) const;
    };

    mutable std::mutex m_lock;
    // Node-based: an element keeps its address while others are added.
    std::set<HID_NOTIFY_RECORD, Before> m_records;
};

// The store of the process, never destroyed: a notice may still be read
// while the process ends.
CHidNoticeStore& HidNotices();

} // namespace orv
