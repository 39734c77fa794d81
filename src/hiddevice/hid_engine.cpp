#include "hiddevice/hid_engine.h"

#include "device/hid_contract.h"
#include "device/reports.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orv::hid {

namespace {

using Clock = std::chrono::steady_clock;

// A report longer than the collection's can still go when everything past
// the collection's length is zero: those bytes are only padding (the slot
// query is 264 bytes, two of them set).
bool Fits(const std::uint8_t* report, std::size_t length, std::size_t reportLength) {
    if (reportLength == 0)
        return false;
    if (length <= reportLength)
        return true;
    return std::all_of(report + reportLength, report + length,
                       [](std::uint8_t b) { return b == 0; });
}

std::vector<std::uint8_t> Sized(const std::uint8_t* report, std::size_t length,
                                std::size_t reportLength) {
    std::vector<std::uint8_t> out(reportLength, 0);
    std::memcpy(out.data(), report, std::min(length, reportLength));
    return out;
}

} // namespace

bool IsKeyboardQuery(const std::uint8_t* report, std::size_t length) {
    return report != nullptr && length >= 2 && report[0] == kGroupSettings &&
           (report[1] == kCmdFirmwareQuery || report[1] == kCmdSlotQuery);
}

// ------------------------------------------------------------ one collection

class HidEngine::Collection {
public:
    Collection(HidEngine& engine, const CollectionInfo& info, std::uint16_t id,
               std::unique_ptr<IHidHandle> handle)
        : m_engine(engine), m_info(info), m_id(id), m_handle(std::move(handle)) {
        if (m_info.inputLength > 0)
            m_reader = std::thread([this] { ReadLoop(); });
    }
    ~Collection() {
        std::shared_ptr<IHidHandle> handle;
        {
            std::lock_guard<std::mutex> guard(m_handleLock);
            m_stop = true;
            handle = m_handle;
        }
        m_handleChanged.notify_all();
        if (handle != nullptr)
            handle->Cancel();
        if (m_reader.joinable())
            m_reader.join();
    }
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    const CollectionInfo& Info() const { return m_info; }
    std::uint16_t Id() const { return m_id; }

    // The collection left or the library is closing: a read waiting for a
    // reply gives up now.
    void Abandon() {
        {
            std::lock_guard<std::mutex> guard(m_replyLock);
            m_gone = true;
        }
        m_replyArrived.notify_all();
    }

    bool Broken() {
        std::lock_guard<std::mutex> guard(m_handleLock);
        return m_handle == nullptr || m_broken;
    }

    // Opens the collection again in place of `failed`, or, with null, when
    // its handle is broken; true when a working handle is in place afterwards.
    bool Reopen(const std::shared_ptr<IHidHandle>& failed) {
        std::shared_ptr<IHidHandle> old;
        {
            std::lock_guard<std::mutex> guard(m_handleLock);
            if (m_stop)
                return false;
            // Nothing to do when the handle works and is not the one that
            // failed (someone else already opened it again): a second open
            // would drop what the working handle has buffered.
            if (m_handle != nullptr && !m_broken && (failed == nullptr || m_handle != failed))
                return true;
            std::unique_ptr<IHidHandle> fresh = m_engine.m_stack.Open(m_info.path);
            if (fresh == nullptr) {
                m_broken = true;
                return false;
            }
            old = std::move(m_handle);
            m_handle = std::move(fresh);
            m_broken = false;
        }
        m_handleChanged.notify_all();
        if (old != nullptr)
            old->Cancel(); // a read still waiting on it ends
        return true;
    }

    bool Write(const std::uint8_t* buffer, std::size_t length) {
        if (buffer == nullptr || length == 0)
            return false;
        // The kind of report that holds it whole, else one that holds all
        // but its zero tail.
        bool output = length <= m_info.outputLength;
        if (!output && length > m_info.featureLength) {
            output = Fits(buffer, length, m_info.outputLength);
            if (!output && !Fits(buffer, length, m_info.featureLength))
                return false;
        }
        const std::vector<std::uint8_t> report =
            Sized(buffer, length, output ? m_info.outputLength : m_info.featureLength);
        {
            // Whatever this collection owed before is no longer wanted.
            std::lock_guard<std::mutex> guard(m_replyLock);
            m_owed = IsKeyboardQuery(buffer, length);
            m_query[0] = buffer[0];
            m_query[1] = length > 1 ? buffer[1] : 0;
            m_reply.clear();
        }
        if (Send(output, report))
            return true;
        // Nothing went out, so nothing will answer: a read after it fails at
        // once instead of waiting out its limit.
        std::lock_guard<std::mutex> guard(m_replyLock);
        m_owed = false;
        return false;
    }

    bool Read(std::uint8_t* buffer, std::size_t length) {
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(m_engine.m_limits.transferMs);
        std::unique_lock<std::mutex> lock(m_replyLock);
        if (!m_owed || m_gone)
            return false; // nothing was asked, so nothing answers
        const std::uint8_t query[2] = {m_query[0], m_query[1]};
        for (;;) {
            if (!m_reply.empty()) {
                const std::size_t n = std::min(length, m_reply.size());
                std::memcpy(buffer, m_reply.data(), n);
                std::memset(buffer + n, 0, length - n);
                m_reply.clear();
                m_owed = false;
                return true;
            }
            if (m_info.featureLength > 0) {
                lock.unlock();
                std::vector<std::uint8_t> feature(m_info.featureLength, 0);
                feature[0] = query[0];
                std::shared_ptr<IHidHandle> handle = Handle();
                const bool got =
                    handle != nullptr &&
                    handle->GetFeature(feature.data(), feature.size()) == IoStatus::Done &&
                    feature.size() >= 2 && feature[0] == query[0] && feature[1] == query[1];
                lock.lock();
                if (got && m_owed && m_query[0] == query[0] && m_query[1] == query[1] &&
                    m_reply.empty())
                    m_reply = std::move(feature);
                if (!m_reply.empty())
                    continue;
            }
            if (m_gone || !m_owed || m_query[0] != query[0] || m_query[1] != query[1])
                return false; // gone, or a later write took the collection over
            const auto now = Clock::now();
            if (now >= deadline)
                return false; // still owed: a late reply is taken, not delivered
            auto until = deadline;
            if (m_info.featureLength > 0)
                until = std::min(until, now + std::chrono::milliseconds(m_engine.m_limits.pollMs));
            m_replyArrived.wait_until(lock, until);
        }
    }

private:
    // One report out; a handle that fails with a general error (gone stale
    // over sleep) is opened again, and the report is sent once more on the
    // new handle.
    bool Send(bool output, const std::vector<std::uint8_t>& report) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::shared_ptr<IHidHandle> handle = Handle();
            if (handle == nullptr)
                return false;
            const IoStatus status =
                output ? handle->Write(report.data(), report.size(), m_engine.m_limits.transferMs)
                       : handle->SetFeature(report.data(), report.size());
            if (status == IoStatus::Done)
                return true;
            // Cancelled: the handle was replaced under it (or the library is
            // closing, which Reopen refuses).
            const bool retry = status == IoStatus::Failed || status == IoStatus::Cancelled;
            if (!retry || !Reopen(handle))
                return false;
        }
        return false;
    }

    std::shared_ptr<IHidHandle> Handle() {
        std::lock_guard<std::mutex> guard(m_handleLock);
        return m_handle;
    }

    // True when the report is the reply this collection owes (it is kept).
    bool TakeAsReply(const std::uint8_t* report, std::size_t length) {
        std::lock_guard<std::mutex> guard(m_replyLock);
        if (!m_owed || length < 2 || report[0] != m_query[0] || report[1] != m_query[1])
            return false;
        if (m_reply.empty()) {
            m_reply.assign(report, report + length);
            m_replyArrived.notify_all();
        }
        return true;
    }

    void ReadLoop() {
        std::vector<std::uint8_t> report(m_info.inputLength);
        for (;;) {
            std::shared_ptr<IHidHandle> handle;
            {
                std::unique_lock<std::mutex> lock(m_handleLock);
                // A broken handle waits for the engine to open the collection
                // again, or for the end.
                m_handleChanged.wait(lock, [this] { return m_stop || (m_handle && !m_broken); });
                if (m_stop)
                    return;
                handle = m_handle;
            }
            std::size_t got = 0;
            const IoStatus status = handle->Read(report.data(), report.size(), got, kNoTimeLimit);
            if (status == IoStatus::Done) {
                if (got > 0 && !TakeAsReply(report.data(), got))
                    m_engine.Deliver(m_id, report.data(), got);
                continue;
            }
            if (status == IoStatus::Cancelled || status == IoStatus::TimedOut)
                continue; // closing, or a new handle is in place
            {
                std::lock_guard<std::mutex> guard(m_handleLock);
                if (m_handle == handle)
                    m_broken = true;
            }
            m_engine.RequestRescan();
        }
    }

    HidEngine& m_engine;
    const CollectionInfo m_info;
    const std::uint16_t m_id;

    std::mutex m_handleLock;
    std::condition_variable m_handleChanged;
    std::shared_ptr<IHidHandle> m_handle;
    bool m_broken = false;
    bool m_stop = false;
    std::thread m_reader;

    std::mutex m_replyLock;
    std::condition_variable m_replyArrived;
    bool m_owed = false;
    bool m_gone = false;
    std::uint8_t m_query[2] = {};
    std::vector<std::uint8_t> m_reply;
};

// ------------------------------------------------------------ the engine

HidEngine::HidEngine(IHidStack& stack, EngineLimits limits) : m_stack(stack), m_limits(limits) {}

HidEngine::~HidEngine() {
    Close(0);
}

void HidEngine::SetListingCache(bool on) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_cacheOn = on;
}

bool HidEngine::MatchesLocked(const CollectionInfo& info) const {
    return HidFilterMatches(m_filter, {info.vendorId, info.productId, info.usagePage, info.usage});
}

void HidEngine::NoticeLocked(std::uint32_t status, const Collection& collection) {
    const HID_NOTIFY_RECORD* notice = HidNotices().Notice(
        status, collection.Id(), collection.Info().usage, collection.Info().usagePage);
    if (m_notifyWnd != kNoWindow)
        m_stack.Post(m_notifyWnd, m_notifyMsg, 1, reinterpret_cast<LParam>(notice));
}

std::uint16_t HidEngine::NextIdLocked() {
    while (m_nextId == 0 || m_collections.count(m_nextId) != 0)
        ++m_nextId;
    return m_nextId++;
}

// Brings the open collections in line with those listed (listing again when
// the list is not current), posting a notice for each that came or left;
// with `reportPresent` the open ones are reported as arrivals again. Returns
// whether any matching collection is open. Collections that left are handed
// back, to be closed outside the lock (closing one waits for its reader).
bool HidEngine::RescanLocked(bool reportPresent, std::vector<CollectionPtr>& gone) {
    if (!m_open)
        return false;
    if (!m_listed || !m_cacheOn) {
        m_listing = m_stack.Enumerate();
        m_listed = true;
        ++m_listings;
    }
    std::vector<const CollectionInfo*> present;
    for (const CollectionInfo& info : m_listing) {
        if (MatchesLocked(info))
            present.push_back(&info);
    }
    for (auto it = m_collections.begin(); it != m_collections.end();) {
        const bool still =
            std::any_of(present.begin(), present.end(), [&](const CollectionInfo* p) {
                return p->path == it->second->Info().path;
            });
        if (still) {
            ++it;
            continue;
        }
        NoticeLocked(kHidStatusRemoved, *it->second);
        it->second->Abandon();
        gone.push_back(it->second);
        it = m_collections.erase(it);
    }
    m_openFailed = false;
    for (const CollectionInfo* info : present) {
        auto open = std::find_if(m_collections.begin(), m_collections.end(), [&](const auto& c) {
            return c.second->Info().path == info->path;
        });
        if (open != m_collections.end()) {
            if (open->second->Broken() && !open->second->Reopen(nullptr))
                m_openFailed = true;
            if (reportPresent)
                NoticeLocked(kHidStatusArrived, *open->second);
            continue;
        }
        std::unique_ptr<IHidHandle> handle = m_stack.Open(info->path);
        if (handle == nullptr) {
            m_openFailed = true; // tried again by the worker
            continue;
        }
        const std::uint16_t id = NextIdLocked();
        auto collection = std::make_shared<Collection>(*this, *info, id, std::move(handle));
        m_collections[id] = collection;
        NoticeLocked(kHidStatusArrived, *collection);
    }
    return !m_collections.empty();
}

HidEngine::CollectionPtr HidEngine::Find(std::uint32_t deviceId) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_collections.find(static_cast<std::uint16_t>(deviceId & 0xFFFF));
    return it == m_collections.end() ? nullptr : it->second;
}

void HidEngine::Deliver(std::uint32_t deviceId, const std::uint8_t* report, std::size_t length) {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    if (m_callback != nullptr)
        m_callback(deviceId, report, static_cast<std::uint32_t>(length));
}

void HidEngine::RequestRescan() {
    {
        std::lock_guard<std::mutex> guard(m_workLock);
        m_rescan = true;
    }
    m_work.notify_all();
}

void HidEngine::StartWorker() {
    if (m_worker.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(m_workLock);
        m_stopWorker = false;
        m_changed = false;
        m_rescan = false;
        m_retryWanted = false;
    }
    m_stack.Watch([this] {
        {
            std::lock_guard<std::mutex> guard(m_workLock);
            m_changed = true;
        }
        m_work.notify_all();
    });
    m_worker = std::thread([this] { WorkerLoop(); });
}

void HidEngine::StopWorker() {
    if (!m_worker.joinable())
        return;
    m_stack.Watch({});
    {
        std::lock_guard<std::mutex> guard(m_workLock);
        m_stopWorker = true;
    }
    m_work.notify_all();
    m_worker.join();
}

void HidEngine::WorkerLoop() {
    bool retry = false;
    for (;;) {
        bool changed = false;
        {
            std::unique_lock<std::mutex> lock(m_workLock);
            auto due = [this] { return m_stopWorker || m_changed || m_rescan; };
            if (retry) {
                m_work.wait_for(lock, std::chrono::milliseconds(m_limits.retryMs), due);
            } else {
                m_work.wait(lock, [&] { return due() || m_retryWanted; });
                if (!due()) {
                    // An open failed: try again after the pause.
                    m_retryWanted = false;
                    retry = true;
                    continue;
                }
            }
            if (m_stopWorker)
                return;
            // A reader's failure may mean the collection left: list again.
            changed = m_changed || m_rescan;
            m_changed = false;
            m_rescan = false;
            m_retryWanted = false;
        }
        std::vector<CollectionPtr> gone;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (changed)
                m_listed = false;
            RescanLocked(false, gone);
            retry = m_open && m_openFailed;
        }
        gone.clear(); // after the lock: see RescanLocked
    }
}

std::int32_t HidEngine::SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_filter = filter != nullptr ? *filter : HID_DEVICE_FILTER{};
    return 1;
}

std::int32_t HidEngine::SetCallback(HidInputCallback callback, std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    m_callback = callback;
    return 1;
}

std::int32_t HidEngine::Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t) {
    std::lock_guard<std::mutex> open(m_openLock);
    StartWorker();
    std::vector<CollectionPtr> gone;
    bool any = false;
    bool retry = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = true;
        m_notifyWnd = notifyWnd;
        m_notifyMsg = notifyMsg;
        any = RescanLocked(true, gone);
        retry = m_openFailed;
    }
    if (retry) {
        std::lock_guard<std::mutex> guard(m_workLock);
        m_retryWanted = true; // the worker goes on trying
    }
    if (retry)
        m_work.notify_all();
    gone.clear();
    return any ? 1 : 0;
}

std::int32_t HidEngine::Close(std::uint32_t) {
    std::lock_guard<std::mutex> open(m_openLock);
    std::map<std::uint16_t, CollectionPtr> closing;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = false;
        m_notifyWnd = kNoWindow;
        // Changes while closed go unseen: the next open lists again.
        m_listed = false;
        closing.swap(m_collections);
    }
    for (auto& c : closing)
        c.second->Abandon();
    StopWorker();
    closing.clear(); // stops every reader
    return 1;
}

std::int32_t HidEngine::Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                              std::uint32_t) {
    CollectionPtr collection = Find(deviceId);
    return collection != nullptr && collection->Write(buffer, length) ? 1 : 0;
}

std::int32_t HidEngine::Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                             std::uint32_t) {
    CollectionPtr collection = Find(deviceId);
    return collection != nullptr && buffer != nullptr && length > 0 &&
                   collection->Read(buffer, length)
               ? 1
               : 0;
}

} // namespace orv::hid
