// The logic of HidDevice.dll for real keyboards, over the HID stack seam
// (hid_stack.h): the library's six operations, kept apart from the system
// calls so that the same code runs against Windows and, in tests, against a
// modelled keyboard.
//
// - Discovery. The collections present are listed once and the list is kept
//   until the stack reports a device change, a reader fails, or the library
//   is closed; so a command issued with no keyboard present costs no listing.
// - Replies. A write that is one of the keyboard's queries (see
//   IsKeyboardQuery) makes the collection owe a reply: the first input
//   report on that collection that starts with the query's two bytes is the
//   reply, kept for the read and never handed to the callback; on a
//   collection with feature reports the read also asks for the feature
//   report named by the query's byte 0 and takes it when it starts with the
//   same two bytes. Every other input report goes to the callback, in the
//   order it arrived. A reply that comes after its read gave up is still
//   taken (and dropped) until the next write to that collection.
// - Limits. Every write waits at most `transferMs`, and a read waits at most
//   `transferMs` for its reply; running out fails the call.
// - Recovery. A reader whose read fails makes the library list the
//   collections again: a collection still present is opened again (and its
//   reader goes on) without any notice, one that is gone is reported as
//   removed. A collection whose open fails is tried again every `retryMs`
//   and reported as arrived once it opens. A write that fails with a general
//   error (a handle gone stale over sleep) opens the collection again and
//   writes once more.
#pragma once

#include "device/hid_library.h"
#include "hiddevice/hid_stack.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orv::hid {

// The keyboard's queries: the reports whose answer the service reads back
// (the firmware query 07 80 and the slot query 07 81).
bool IsKeyboardQuery(const std::uint8_t* report, std::size_t length);

struct EngineLimits {
    std::uint32_t transferMs = 300; // one write; the wait for one reply
    std::uint32_t retryMs = 500;    // between attempts to open a collection again
    std::uint32_t pollMs = 10;      // between feature-report asks while a reply is owed
};

class HidEngine final : public IHidLibrary {
public:
    explicit HidEngine(IHidStack& stack, EngineLimits limits = {});
    ~HidEngine() override;
    HidEngine(const HidEngine&) = delete;
    HidEngine& operator=(const HidEngine&) = delete;

    std::int32_t SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t reserved) override;
    std::int32_t SetCallback(HidInputCallback callback, std::uint32_t reserved) override;
    std::int32_t Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t reserved) override;
    std::int32_t Close(std::uint32_t reserved) override;
    std::int32_t Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t reserved) override;
    std::int32_t Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t reserved) override;

    // With caching off every open lists the collections again (the library's
    // old behaviour; the benchmark's baseline).
    void SetListingCache(bool on);
    // How many times the stack's collections have been listed.
    std::uint64_t Listings() const { return m_listings.load(); }

    class Collection;

private:
    friend class Collection;

    using CollectionPtr = std::shared_ptr<Collection>;

    bool MatchesLocked(const CollectionInfo& info) const;
    bool RescanLocked(bool reportPresent, std::vector<CollectionPtr>& gone);
    void NoticeLocked(std::uint32_t status, const Collection& collection);
    std::uint16_t NextIdLocked();
    CollectionPtr Find(std::uint32_t deviceId);
    void Deliver(std::uint32_t deviceId, const std::uint8_t* report, std::size_t length);
    void RequestRescan();
    void StartWorker();
    void StopWorker();
    void WorkerLoop();

    IHidStack& m_stack;
    const EngineLimits m_limits;

    std::mutex m_callbackLock; // held while the callback runs
    HidInputCallback m_callback = nullptr;

    std::mutex m_openLock; // one open or close at a time
    std::mutex m_lock;     // everything below
    HID_DEVICE_FILTER m_filter{};
    bool m_open = false;
    WndHandle m_notifyWnd = kNoWindow;
    MsgId m_notifyMsg = 0;
    bool m_cacheOn = true;
    bool m_listed = false;
    std::vector<CollectionInfo> m_listing;
    std::map<std::uint16_t, CollectionPtr> m_collections;
    bool m_openFailed = false; // a matching collection is present but would not open
    std::uint16_t m_nextId = 1;
    std::atomic<std::uint64_t> m_listings{0};

    // The worker lists and opens again after device changes and failures.
    std::mutex m_workLock;
    std::condition_variable m_work;
    bool m_changed = false;
    bool m_rescan = false;
    bool m_retryWanted = false;
    bool m_stopWorker = false;
    std::thread m_worker;
};

} // namespace orv::hid
