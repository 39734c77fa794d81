// The seam between HidDevice.dll's logic (hid_engine.h) and the system's HID
// stack: listing the HID collections present with their identity and report
// lengths, opening one, reading and writing its reports with a time limit,
// its feature reports, and the system's device-change notices. The library
// over real keyboards puts the Windows calls behind it (real/win_hid_stack.cpp);
// tests put a modelled keyboard behind it (model/model_stack.h).
//
// Everything here may be called from any thread; a handle's Read may run on
// one thread while Write, the feature calls or Cancel run on another.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::hid {

// One HID collection as listed: where to open it, whose it is and the
// lengths of its reports (0: it has none of that kind). Lengths count byte 0.
struct CollectionInfo {
    std::u16string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputLength = 0;
    std::uint16_t outputLength = 0;
    std::uint16_t featureLength = 0;
};

// How one transfer ended.
enum class IoStatus {
    Done,
    TimedOut,     // the limit ran out; the transfer was cancelled
    Cancelled,    // Cancel() was called while it waited
    NotConnected, // the collection has left the system
    Failed,       // any other error (a stale handle after resume, for one)
};

constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFFu;

// An open collection.
class IHidHandle {
public:
    virtual ~IHidHandle() = default;

    // Waits up to `limitMs` for the next input report; `got` is its length.
    virtual IoStatus Read(std::uint8_t* buffer, std::size_t length, std::size_t& got,
                          std::uint32_t limitMs) = 0;
    // Writes one output report of exactly the collection's output length.
    virtual IoStatus Write(const std::uint8_t* report, std::size_t length,
                           std::uint32_t limitMs) = 0;
    // Feature reports of exactly the collection's feature length; byte 0 of
    // the buffer names the report asked for.
    virtual IoStatus GetFeature(std::uint8_t* buffer, std::size_t length) = 0;
    virtual IoStatus SetFeature(const std::uint8_t* report, std::size_t length) = 0;
    // Ends a Read or Write waiting on another thread (with Cancelled), and
    // every later one, so that a reader can be stopped.
    virtual void Cancel() = 0;
};

// The HID stack and the window system around the library.
class IHidStack {
public:
    virtual ~IHidStack() = default;

    // Every HID collection present (the caller picks the keyboard's).
    virtual std::vector<CollectionInfo> Enumerate() = 0;
    // Opens a collection for reading and writing; null when that fails.
    virtual std::unique_ptr<IHidHandle> Open(const std::u16string& path) = 0;
    // Starts calling `onChange` (on a thread of the stack) whenever HID
    // collections may have come or gone; an empty function stops it, and
    // once that returns no call is running or follows.
    virtual void Watch(std::function<void()> onChange) = 0;
    // Posts a window message (the library's notices).
    virtual bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;
};

} // namespace orv::hid
