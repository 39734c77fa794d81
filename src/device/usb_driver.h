// The device connection: a hidden window that opens the device-access
// library, keeps the list of the keyboard's HID collections, turns the
// keyboard's input reports into messages, and sends the keyboard's commands.
#pragma once

#include "device/hid_library.h"
#include "device/key_tables.h"
#include "device/reports.h"
#include "framework/wnd.h"

#include <cstdint>
#include <list>

namespace orv {

// One collection of the keyboard, copied whole from its arrival notice. The
// record keeps the name the suite's other sources know it by, reserved
// spelling and all.
struct _DEVICE_STATE {         // NOLINT(bugprone-reserved-identifier)
    std::uint32_t dwStatus;    // 1: only arrivals are kept
    std::uint32_t dwDeviceID;  // low 16 bits address the collection
    std::uint32_t dwUsage;     // usage in the high 16 bits
    std::uint32_t dwUsagePage; // usage page in the low 16 bits
};
static_assert(sizeof(_DEVICE_STATE) == sizeof(HID_NOTIFY_RECORD));

constexpr std::uint32_t kMacroBlockSize = 242; // MacroHeader0, MacroHeader1, MacroData

// Command results.
constexpr int kCommandDone = 0;
constexpr int kCommandFailed = 1;

class CUSBDriver : public CWnd {
public:
    CUSBDriver();
    ~CUSBDriver() override;

    // Opens the library (closing it first when it is open) with the
    // keyboard's filter and the input-report callback; true when it opened.
    bool OpenDevice();
    // Sets an empty filter and no callback, closes and opens again. The list
    // is kept: collections reported again overwrite their records.
    void ReopenDevice();
    // The device id of the collection with this usage on the keyboard's usage
    // page; failing that, the last record's; 0 when the list is empty.
    std::uint16_t GetDeviceIdByUsage(std::uint16_t usage) const;

    // Registered with the library; may run on any thread. It reaches the
    // connection only through g_pUSBDriver and only formats, looks windows up
    // and posts.
    static void ORV_HID_CALL InputReportCallback(std::uint32_t deviceId, const std::uint8_t* report,
                                                 std::uint32_t length);
    void OnInputReport(const std::uint8_t* report, std::uint32_t deviceId, std::uint32_t length);

    // The keyboard's commands. Each returns kCommandDone (0) or kCommandFailed
    // (1: the library could not be opened or a transfer failed) unless noted.

    // Reply bytes 2 and 3; left untouched when the library cannot be opened.
    int GetFirmwareVersion(std::uint8_t& a, std::uint8_t& b);
    // The keyboard's slot (6 in the reply stands for 0); left untouched when
    // the library cannot be opened.
    int GetDeviceSlot(std::uint8_t& slot);
    int SetPollingRate(std::uint32_t rate);
    int SetKeyMode(std::uint32_t mode);
    // Refused (1) without trying to open while the connection is closed.
    int SetDeviceSlot(std::uint32_t slot);
    void SetLightEffect(std::uint8_t slot, std::uint8_t effect);
    void SetLightColor(std::uint32_t color, std::uint8_t slot);
    int SetKeyColor(std::uint32_t color, std::uint8_t slot, std::uint8_t position);
    int SendCommand0F();
    // Slot 0 is never written: 0 without a transfer.
    int WriteKeyMatrix(std::uint8_t slot, const std::uint8_t (&matrix)[kMatrixSize]);
    int WriteMacro(std::uint8_t slot, const std::uint8_t (&block)[kMacroBlockSize],
                   std::uint8_t position);

    std::list<_DEVICE_STATE> m_DeviceList;
    std::uint32_t m_nCommandDelay = kCommandDelay;
    std::int32_t m_bOpened = 0;
    WndHandle m_hNotifyWnd = kNoWindow;

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;

private:
    // Whether the library is open, opening it when it is not.
    bool EnsureOpen();
    // Writes one report to the collection, true when the library took it.
    bool WriteReport(std::uint16_t deviceId, std::uint8_t* report, std::uint32_t length);
    bool ReadReport(std::uint16_t deviceId, std::uint8_t* report, std::uint32_t length);
    // A write of an 8-byte command to the command collection; true when taken.
    bool WriteCommand(std::uint8_t (&report)[kCommandReportSize]);
    int WriteChunked(std::uint8_t slot, const std::uint8_t (&header)[kCommandReportSize],
                     std::uint16_t chunkUsage, std::uint8_t chunkGroup, const std::uint8_t* data,
                     int chunks);
    LResult OnMonitor(WParam wParam, LParam lParam);
    void PostToNotifyWnd(MsgId msg, WParam wParam, LParam lParam) const;
};

// The one device connection while it exists; null before and after.
extern CUSBDriver* g_pUSBDriver;

} // namespace orv
