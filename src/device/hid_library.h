// The device-access library: six operations, known to the Windows build by
// ordinal only, through which the service reaches the keyboard's HID
// collections. The core talks to whichever implementation is installed: the
// Windows loader of HidDevice.dll, or the simulated keyboard in host tests.
// This comment is the contract every implementation keeps; the parts they
// share (filter matching, notice records) are in device/hid_contract.h.
//
// Binary interface of HidDevice.dll (our own library, both variants):
//
//   ordinal 4  BOOL HidSetFilter(const HID_DEVICE_FILTER* filter, DWORD reserved)
//   ordinal 5  BOOL HidSetCallback(HidInputCallback callback, DWORD reserved)
//   ordinal 2  BOOL HidOpen(HWND notifyWnd, UINT notifyMsg, DWORD reserved)
//   ordinal 3  BOOL HidClose(DWORD reserved)
//   ordinal 7  BOOL HidWrite(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved)
//   ordinal 8  BOOL HidRead(DWORD deviceId, BYTE* buffer, DWORD length, DWORD reserved)
//
// All six and the callback use the platform's standard calling convention
// (__stdcall, which is the only convention on 64-bit Windows); BOOL and DWORD
// are 32 bits. Results are non-zero for success. `reserved` is always 0.
// The six may be called from any thread; the service calls them from its
// one window thread.
//
// Filter
// - HidSetFilter copies the record. A collection matches when its device's
//   vendor id and product id equal the filter's and its top-level {usage,
//   usage page} equals one of the first dwCount entries (at most ten are
//   read). No field is a wildcard: a zero id, usage or page matches only a
//   collection that reports zero there. A null filter, or a count of 0 (the
//   all-zero record of a reset), matches nothing.
//
// Notices
// - HidOpen starts watching for the filter's collections, by posting (never
//   sending) notifyMsg with wParam 1 and lParam the address of a
//   HID_NOTIFY_RECORD for every matching collection that arrives or leaves,
//   in the order they do; collections present at the call are reported as
//   arrivals. The result is non-zero when at least one matching collection
//   is present; watching goes on either way, so a later arrival is still
//   reported. Calling it again without HidClose re-reports the present
//   collections and gives a fresh result.
// - A record the library hands out stays valid, at the same address and
//   with the same contents, for the life of the process, so the receiver may
//   read it whenever the posted message is handled, even after a close or a
//   later plug-in. Identical notices may share one record: the library
//   never writes to a record once it has been handed out.
// - HidClose stops watching and reading; no notice or callback follows its
//   return. HidOpen may be called again afterwards.
//
// Input reports
// - The callback receives every input report of an open collection with the
//   report's device id, its bytes and their length. It runs on a thread the
//   library chooses (the real library: the collection's reader thread; the
//   simulated one: the thread that sends the report), one report at a time:
//   a report waits until the callback has returned from the one before. The
//   bytes are the library's and valid only during the call.
// - The callback must not call into the library: HidSetCallback and HidClose
//   wait for a callback in progress, and a read may wait on the very thread
//   the callback holds. The service's callback only formats debug lines and
//   posts window messages.
// - HidSetCallback replaces the callback (null: none); once it returns, the
//   previous callback is no longer running and will not be called again.
//
// Transfers
// - HidWrite and HidRead address a collection by the device id of its
//   arrival notice (the low 16 bits carry it). Either fails (returns 0) for
//   a device id of no open collection, a null buffer or a length of 0, and
//   while the library is closed. The service writes and reads 8 or 264
//   bytes.
// - HidWrite sends one report, waiting at most 300 ms in the real library.
//   The real library sends it as an output report when it fits the
//   collection's output report length, else as a feature report when it
//   fits that, padded with zero bytes; a report longer than both goes
//   without its zero tail, and one that is still too long is refused. The
//   simulated keyboard takes any length.
// - HidRead overwrites `length` bytes of the buffer with the collection's
//   reply, cut to `length` or padded with zero bytes. In the real library a
//   reply answers the query written before it (07 80 or 07 81): the first
//   input report on that collection that starts with the query's two bytes
//   (it is not handed to the callback), or the collection's feature report
//   when that starts with them; it waits up to 300 ms, and a read with no
//   query written before it fails at once. The simulated keyboard answers a
//   query written before the read at once, and has nothing to give
//   otherwise. The reply to a write is read once. A failed read leaves the
//   buffer as it was. docs/keyboard-reports.md gives the whole rule.
//
// Lifetime
// - The service never closes the library when it stops, so a library keeps
//   its state, threads and records alive until the process ends and runs no
//   destructor for them at exit.
#pragma once

#include "platform/types.h"

#include <cstdint>

namespace orv {

// One {usage, usage page} pair of the filter.
struct HID_FILTER_ENTRY {
    std::uint32_t dwUsage;
    std::uint32_t dwUsagePage;
};

constexpr std::uint32_t kHidFilterCapacity = 10;

// The collections the library is to watch: vendor id, product id, and the
// first `dwCount` entries.
struct HID_DEVICE_FILTER {
    std::uint32_t dwVendorID;
    std::uint32_t dwProductID;
    std::uint32_t dwCount;
    HID_FILTER_ENTRY Entries[kHidFilterCapacity];
};
static_assert(sizeof(HID_DEVICE_FILTER) == 92, "the library reads 23 words");
static_assert(offsetof(HID_DEVICE_FILTER, Entries) == 12);

// A collection that arrived (status 1) or left (status 0).
struct HID_NOTIFY_RECORD {
    std::uint32_t dwStatus;
    std::uint32_t dwDeviceID;  // low 16 bits address the collection
    std::uint32_t dwUsage;     // usage in the high 16 bits
    std::uint32_t dwUsagePage; // usage page in the low 16 bits
};
static_assert(sizeof(HID_NOTIFY_RECORD) == 16, "the library delivers four words");

constexpr std::uint32_t kHidStatusRemoved = 0;
constexpr std::uint32_t kHidStatusArrived = 1;

using HidInputCallback = void(ORV_HID_CALL*)(std::uint32_t deviceId, const std::uint8_t* report,
                                             std::uint32_t length);

class IHidLibrary {
public:
    virtual ~IHidLibrary() = default;

    virtual std::int32_t SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t reserved) = 0;
    virtual std::int32_t SetCallback(HidInputCallback callback, std::uint32_t reserved) = 0;
    virtual std::int32_t Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t reserved) = 0;
    virtual std::int32_t Close(std::uint32_t reserved) = 0;
    virtual std::int32_t Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                               std::uint32_t reserved) = 0;
    virtual std::int32_t Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                              std::uint32_t reserved) = 0;
};

// The library the device connection uses. Until one is installed (and after
// InstallHidLibrary(nullptr)) it is a stand-in that can open nothing, so every
// command reports failure.
IHidLibrary& HidLibrary();
void InstallHidLibrary(IHidLibrary* library);

// A library that cannot open anything: what the service gets when
// HidDevice.dll or one of its entry points is missing.
class CAbsentHidLibrary final : public IHidLibrary {
public:
    std::int32_t SetFilter(const HID_DEVICE_FILTER*, std::uint32_t) override { return 0; }
    std::int32_t SetCallback(HidInputCallback, std::uint32_t) override { return 0; }
    std::int32_t Open(WndHandle, MsgId, std::uint32_t) override { return 0; }
    std::int32_t Close(std::uint32_t) override { return 0; }
    std::int32_t Write(std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t) override {
        return 0;
    }
    std::int32_t Read(std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t) override {
        return 0;
    }
};

} // namespace orv
