// A simulated keyboard behind the device-access library's six operations.
//
// It presents the keyboard's five vendor collections (usages 1 to 5 on usage
// page 0xFF00, each with its own device id), reports them as arriving when the
// library is opened while it is plugged in and whenever it is plugged in,
// and as leaving when it is unplugged. It answers the firmware query (07 80)
// with its version bytes and the slot query (07 81) with its slot, takes the
// slot command (0A 03 s) as its own, and records every call, transfer and
// input report with the time it happened.
//
// The code is portable: the host tests use it directly as the library, and
// the simulated HidDevice.dll puts it behind the six exports. Everything it
// needs from outside (the time, posting a notification) comes through
// ISimEnvironment. All operations may be called from any thread.
#pragma once

#include "device/hid_library.h"
#include "device/reports.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orv::sim {

class ISimEnvironment {
public:
    virtual std::uint32_t Now() = 0;
    virtual bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;

protected:
    ~ISimEnvironment() = default;
};

enum class SimEventKind {
    Filter,   // bytes: the 92-byte filter record (empty for a null filter)
    Callback, // result: 1 when a callback was set, 0 when none
    Open,     // wnd, msg, result
    Close,
    Arrive, // deviceId, usage, page
    Remove, // deviceId, usage, page
    Write,  // deviceId, usage, length, result, bytes written
    Read,   // deviceId, usage, length, result, bytes: the buffer as left
    Input,  // deviceId, usage, length, result (1 = delivered), bytes
    Plug,
    Unplug,
    Slot, // result: the keyboard's new slot
};

struct SimEvent {
    explicit SimEvent(SimEventKind k) : kind(k) {}

    SimEventKind kind;
    std::uint32_t time = 0;
    std::uint32_t deviceId = 0;
    std::uint16_t usage = 0;
    std::uint16_t page = 0;
    std::uint32_t length = 0;
    std::int32_t result = 0;
    WndHandle wnd = kNoWindow;
    MsgId msg = 0;
    std::vector<std::uint8_t> bytes;
};

// One line of the traffic log (see docs/sim-keyboard.md), without the newline.
std::string FormatSimEvent(const SimEvent& event);

class SimKeyboard;

// Runs one control command on the keyboard (see docs/sim-keyboard.md):
//   plug | unplug | report <usage> <hex bytes> | version <a> <b> | slot <s>
//   | sixforzero on|off | fail [<count>] | get slot|plugged|opened|version
// Returns the command's value (0 for plain commands; 1/0 for report:
// delivered or not; the value asked for by get), or -1 for a command that is
// unknown or malformed.
long RunSimCommand(SimKeyboard& keyboard, const std::string& command);

class SimKeyboard final : public IHidLibrary {
public:
    static constexpr std::uint32_t kVendorId = kKeyboardVendorId;
    static constexpr std::uint32_t kProductId = kKeyboardProductId;
    static constexpr std::uint16_t kUsagePage = kKeyboardUsagePage;
    static constexpr std::uint16_t kCollections = kKeyboardCollections; // usages 1..5

    explicit SimKeyboard(ISimEnvironment& env, bool plugged = true);

    // The library's operations.
    std::int32_t SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t reserved) override;
    std::int32_t SetCallback(HidInputCallback callback, std::uint32_t reserved) override;
    std::int32_t Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t reserved) override;
    std::int32_t Close(std::uint32_t reserved) override;
    std::int32_t Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t reserved) override;
    std::int32_t Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t reserved) override;

    // Control, as a person at the keyboard would. Plugging in gives the
    // collections new device ids.
    void Plug();
    void Unplug();
    bool Plugged();
    // Sends an input report from the collection with this usage: calls the
    // callback on the calling thread. False (and nothing called) when the
    // library is closed, the keyboard unplugged, the collection outside the
    // filter or no callback set.
    bool SendInputReport(std::uint16_t usage, const std::vector<std::uint8_t>& report);
    void SetVersion(std::uint8_t a, std::uint8_t b);
    void SetSlot(std::uint8_t slot);
    std::uint8_t Slot();
    // Whether the slot query names slot 0 as 6, as the real keyboard may.
    void SetSlotZeroAsSix(bool on);
    // Whether the slot query is answered (the default). Unanswered, the query
    // is taken and the read after it fails, as with a keyboard busy elsewhere.
    void SetAnswersSlotQuery(bool on);
    // The next `count` writes or reads fail (return 0 and change nothing).
    void FailNextTransfers(int count);
    // The keyboard is pulled out after `count` more writes or reads (0: at
    // the next one), as by a cable pulled in the middle of an upload: that
    // transfer and every later one fail, and the removals are posted as by
    // Unplug. A negative count cancels a pull that has not happened yet.
    void UnplugAfterTransfers(int count);
    bool Opened();
    void Version(std::uint8_t& a, std::uint8_t& b);
    // The device id of the collection with this usage while plugged in; 0 when none.
    std::uint32_t DeviceIdOf(std::uint16_t usage);

    std::vector<SimEvent> Events();
    // The events of one kind, in order.
    std::vector<SimEvent> Events(SimEventKind kind);
    // Forgets the events and gives their memory back (a long run keeps only
    // what happened since).
    void ClearEvents();

    // Called with every event as it is recorded (under the keyboard's lock:
    // it must not call back into the keyboard).
    std::function<void(const SimEvent&)> onEvent;

private:
    struct Collection {
        std::uint16_t usage;
        std::uint32_t deviceId;
    };

    bool MatchesLocked(std::uint16_t usage) const;
    const Collection* FindLocked(std::uint32_t deviceId) const;
    void RecordLocked(SimEvent event);
    void NotifyLocked(std::uint32_t status, const Collection& collection);
    void ReportPresentLocked();
    bool TakeFailureLocked();
    void NewCollectionsLocked();
    // Plug-ins are counted from 1 to this and then from 1 again.
    static constexpr std::uint32_t kPlugInCycle = 0xFF;
    static std::uint32_t DeviceId(std::uint32_t generation, std::uint16_t usage);
    void UnplugLocked();
    void CountTransferLocked();

    ISimEnvironment& m_env;
    std::mutex m_lock;
    // Held while the callback runs, so that replacing it waits for the end
    // of a report in progress.
    std::mutex m_callbackLock;

    HID_DEVICE_FILTER m_filter{};
    HidInputCallback m_callback = nullptr;
    bool m_opened = false;
    WndHandle m_notifyWnd = kNoWindow;
    MsgId m_notifyMsg = 0;

    bool m_plugged;
    std::uint32_t m_generation = 0; // plug-ins so far; part of the device ids
    std::vector<Collection> m_collections;
    std::uint8_t m_versionA = 1;
    std::uint8_t m_versionB = 0;
    std::uint8_t m_slot = 0;
    bool m_slotZeroAsSix = true;
    bool m_answersSlotQuery = true;
    int m_failCount = 0;
    int m_unplugAfter = -1; // transfers before the keyboard is pulled out; -1: never
    std::map<std::uint32_t, std::vector<std::uint8_t>> m_replies; // by device id

    std::vector<SimEvent> m_events;
};

} // namespace orv::sim
