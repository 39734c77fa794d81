#include "device/hid_contract.h"

#include <algorithm>
#include <tuple>

namespace orv {

bool HidFilterMatches(const HID_DEVICE_FILTER& filter, const HidCollectionIdentity& collection) {
    if (filter.dwVendorID != collection.vendorId || filter.dwProductID != collection.productId)
        return false;
    const std::uint32_t count = std::min(filter.dwCount, kHidFilterCapacity);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (filter.Entries[i].dwUsage == collection.usage &&
            filter.Entries[i].dwUsagePage == collection.usagePage)
            return true;
    }
    return false;
}

bool CHidNoticeStore::Before::operator()(const HID_NOTIFY_RECORD& a,
                                         const HID_NOTIFY_RECORD& b) const {
    return std::tie(a.dwStatus, a.dwDeviceID, a.dwUsage, a.dwUsagePage) <
           std::tie(b.dwStatus, b.dwDeviceID, b.dwUsage, b.dwUsagePage);
}

const HID_NOTIFY_RECORD* CHidNoticeStore::Notice(std::uint32_t status, std::uint32_t deviceId,
                                                 std::uint16_t usage, std::uint16_t usagePage) {
    const HID_NOTIFY_RECORD record{status, deviceId, static_cast<std::uint32_t>(usage) << 16,
                                   usagePage};
    std::lock_guard<std::mutex> guard(m_lock);
    return &*m_records.insert(record).first;
}

std::size_t CHidNoticeStore::Size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records.size();
}

CHidNoticeStore& HidNotices() {
    static CHidNoticeStore& store = *new CHidNoticeStore;
    return store;
}

} // namespace orv
