#include "device/usb_driver.h"

#include "base/wstr.h"
#include "messaging/message_interface.h"
#include "messaging/messages.h"
#include "platform/platform.h"

#include <algorithm>
#include <mutex>

namespace orv {

CUSBDriver* g_pUSBDriver = nullptr;

namespace {

// Guards g_pUSBDriver against the library's thread: a callback in progress
// finishes before the connection it uses is destroyed.
std::mutex g_driverLock;

std::uint16_t Low16(std::uint32_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
std::uint16_t High16(std::uint32_t v) {
    return static_cast<std::uint16_t>(v >> 16);
}

bool SameCollection(const _DEVICE_STATE& a, const _DEVICE_STATE& b) {
    return High16(a.dwUsage) == High16(b.dwUsage) && Low16(a.dwUsagePage) == Low16(b.dwUsagePage);
}

std::u16string Hex(std::uintptr_t v) {
    static const char16_t digits[] = u"0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    return out;
}

void PostToTitled(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    if (wnd != kNoWindow)
        Windows().PostMsg(wnd, msg, wParam, lParam);
}

// The event reports of the keyboard, tried in this order; the first row
// whose bytes match posts a key event.
struct EventRow {
    int needed; // report bytes the row looks at (0..needed-1)
    bool (*matches)(const std::uint8_t* r);
    WParam (*value)(const std::uint8_t* r);
    LParam (*code)(const std::uint8_t* r);
};

const EventRow kEventRows[] = {
    {3, [](const std::uint8_t* r) { return r[0] == 0x0D && r[1] == 3; },
     [](const std::uint8_t* r) -> WParam { return r[2]; },
     [](const std::uint8_t*) -> LParam { return 0x000100DA; }},
    {4, [](const std::uint8_t* r) { return r[0] == 0x0D && r[1] == 5; },
     [](const std::uint8_t*) -> WParam { return 0xDE; },
     [](const std::uint8_t* r) -> LParam { return 0x00010000 + r[3]; }},
    {5, [](const std::uint8_t* r) { return r[2] == 1 && r[3] == 1; },
     [](const std::uint8_t* r) -> WParam { return r[4]; },
     [](const std::uint8_t*) -> LParam { return 0x000100DF; }},
    {4, [](const std::uint8_t* r) { return r[1] == 2 && r[2] == 0x0C; },
     [](const std::uint8_t* r) -> WParam { return r[3]; },
     [](const std::uint8_t*) -> LParam { return 0x000100DB; }},
    {5, [](const std::uint8_t* r) { return r[2] == 1 && r[3] == 7; },
     [](const std::uint8_t* r) -> WParam { return r[4]; },
     [](const std::uint8_t*) -> LParam { return 0x000100DC; }},
};

} // namespace

CUSBDriver::CUSBDriver() {
    CreateEx(0, nullptr, u"", WS_POPUP, 1, 1, 1, 1, kNoWindow, 0);
    std::lock_guard<std::mutex> guard(g_driverLock);
    g_pUSBDriver = this;
}

CUSBDriver::~CUSBDriver() {
    {
        std::lock_guard<std::mutex> guard(g_driverLock);
        if (g_pUSBDriver == this)
            g_pUSBDriver = nullptr;
    }
    m_DeviceList.clear();
    DestroyWindow();
}

bool CUSBDriver::OpenDevice() {
    IHidLibrary& library = HidLibrary();
    if (m_bOpened != 0)
        library.Close(0);

    HID_DEVICE_FILTER filter{};
    filter.dwVendorID = kKeyboardVendorId;
    filter.dwProductID = kKeyboardProductId;
    filter.dwCount = kKeyboardCollections;
    for (std::uint32_t i = 0; i < kKeyboardCollections; ++i) {
        filter.Entries[i].dwUsage = kKeyboardFirstUsage + i;
        filter.Entries[i].dwUsagePage = kKeyboardUsagePage;
    }
    library.SetFilter(&filter, 0);
    library.SetCallback(&CUSBDriver::InputReportCallback, 0);
    m_bOpened = library.Open(m_hWnd, WM_HID_MONITOR, 0);
    return m_bOpened != 0;
}

void CUSBDriver::ReopenDevice() {
    IHidLibrary& library = HidLibrary();
    HID_DEVICE_FILTER none{};
    library.SetFilter(&none, 0);
    library.SetCallback(nullptr, 0);
    library.Close(0);
    m_bOpened = 0;
    OpenDevice();
}

std::uint16_t CUSBDriver::GetDeviceIdByUsage(std::uint16_t usage) const {
    for (const _DEVICE_STATE& state : m_DeviceList) {
        if (High16(state.dwUsage) == usage && Low16(state.dwUsagePage) == kKeyboardUsagePage)
            return Low16(state.dwDeviceID);
    }
    return m_DeviceList.empty() ? 0 : Low16(m_DeviceList.back().dwDeviceID);
}

LResult CUSBDriver::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    if (msg == WM_HID_MONITOR && wParam == 1 && lParam != 0) {
        LResult handled = OnMonitor(wParam, lParam);
        if (handled != 0)
            return handled;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

// Returns non-zero when the message is done with and gets no default processing.
LResult CUSBDriver::OnMonitor(WParam, LParam lParam) {
    _DEVICE_STATE notice;
    const auto* record = reinterpret_cast<const HID_NOTIFY_RECORD*>(lParam);
    notice.dwStatus = record->dwStatus;
    notice.dwDeviceID = record->dwDeviceID;
    notice.dwUsage = record->dwUsage;
    notice.dwUsagePage = record->dwUsagePage;

    const unsigned id = Low16(notice.dwDeviceID);
    const unsigned usage = High16(notice.dwUsage);
    const unsigned page = Low16(notice.dwUsagePage);

    if (notice.dwStatus == kHidStatusArrived) {
        Debug().Write(
            FormatW(u"MONITOROPEN:dwDeviceID=%x,usage:0x%x,uagePage:0x%x\n", id, usage, page));
        for (_DEVICE_STATE& state : m_DeviceList) {
            if (SameCollection(state, notice)) {
                state = notice;
                return 1;
            }
        }
        m_DeviceList.push_back(notice);
        m_bOpened = 1;
        PostToNotifyWnd(WM_HID_PLUG, 0, 1);
    } else if (notice.dwStatus == kHidStatusRemoved) {
        Debug().Write(
            FormatW(u"MONITORCLOSE:dwDeviceID=%x,usage:0x%x,uagePage:0x%x\n", id, usage, page));
        const bool wasEmpty = m_DeviceList.empty();
        if (!wasEmpty) {
            // The record of the collection that left: by device id, else by
            // usage and usage page, else the oldest.
            auto gone =
                std::find_if(m_DeviceList.begin(), m_DeviceList.end(),
                             [id](const _DEVICE_STATE& s) { return Low16(s.dwDeviceID) == id; });
            if (gone == m_DeviceList.end())
                gone = std::find_if(
                    m_DeviceList.begin(), m_DeviceList.end(),
                    [&notice](const _DEVICE_STATE& s) { return SameCollection(s, notice); });
            if (gone == m_DeviceList.end())
                gone = m_DeviceList.begin();
            m_DeviceList.erase(gone);
        }
        if (wasEmpty || (m_DeviceList.empty() && m_bOpened != 0)) {
            m_bOpened = 0;
            PostToNotifyWnd(WM_HID_PLUG, 0, 0);
        }
    }
    return 0;
}

void CUSBDriver::PostToNotifyWnd(MsgId msg, WParam wParam, LParam lParam) const {
    if (m_hNotifyWnd != kNoWindow)
        Windows().PostMsg(m_hNotifyWnd, msg, wParam, lParam);
}

void ORV_HID_CALL CUSBDriver::InputReportCallback(std::uint32_t deviceId,
                                                  const std::uint8_t* report,
                                                  std::uint32_t length) {
    std::lock_guard<std::mutex> guard(g_driverLock);
    if (g_pUSBDriver != nullptr)
        g_pUSBDriver->OnInputReport(report, deviceId, length);
}

void CUSBDriver::OnInputReport(const std::uint8_t* report, std::uint32_t deviceId,
                               std::uint32_t length) {
    // Only the bytes the library delivered are read: a rule that looks at a
    // byte past the end of a short report does not apply.
    const std::uint32_t n = report != nullptr ? length : 0;
    const std::uint8_t* r = report;

    Debug().Write(u"ID:0x" + Hex(deviceId) + u",pBuffer=0x" +
                  Hex(reinterpret_cast<std::uintptr_t>(report)) + u" , Length=0x" + Hex(length) +
                  u"\n");
    if (n >= 8) {
        Debug().Write(FormatW(u"%02x %02x %02x %02x %02x %02x %02x %02x\n", r[0], r[1], r[2], r[3],
                              r[4], r[5], r[6], r[7]));
    } else {
        std::u16string bytes;
        for (std::uint32_t i = 0; i < n; ++i)
            bytes += FormatW(i == 0 ? u"%02x" : u" %02x", r[i]);
        Debug().Write(bytes + u"\n");
    }

    // Status report.
    const bool status = n >= 9 && r[1] == 0x00 && r[2] == 0x07 && r[3] == 0x00 && r[4] == 0x03 &&
                        r[5] == 0xD6 && r[7] == 0x00 && r[8] == 0x00;
    if (status && (r[6] == 0 || r[6] == 1)) {
        PostToTitled(Windows().FindTopLevel(nullptr, kMainWindowTitle), WM_HID_STATUS_NOTIFY, r[6],
                     0);
        return;
    }

    // Events, only for reports that are not status reports.
    if (!status) {
        for (const EventRow& row : kEventRows) {
            if (n >= static_cast<std::uint32_t>(row.needed) && row.matches(r)) {
                PostToNotifyWnd(WM_HID_KEY_EVENT, row.value(r), row.code(r));
                break;
            }
        }
    }

    // Key reports.
    if (n < 4 || r[0] != 8 || r[3] == kKeyCodeIgnored)
        return;
    if (r[1] == 0xFE && (r[2] == 6 || r[2] == 5)) {
        PostToTitled(FindConfigWindow(), WM_HID_FE_NOTIFY, r[2] == 6 ? 1 : 0, 0);
        return;
    }
    PostToNotifyWnd(WM_HID_KEY_EVENT, r[3], (static_cast<LParam>(r[2]) << 16) + r[1]);
}

} // namespace orv
