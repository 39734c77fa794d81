#include "hiddevice/model/model_stack.h"

#include "device/reports.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>

namespace orv::hid::model {

namespace {

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace

struct HandleState {
    std::uint16_t usage = 0; // 0: a foreign collection
    bool cancelled = false;
    bool gone = false;
    bool stale = false;
    std::deque<std::vector<std::uint8_t>> input;
};

struct ModelStack::State {
    std::mutex lock;
    std::condition_variable changed;
    ReplyVia via;
    bool plugged;
    std::uint32_t generation = 0;
    std::uint8_t versionA = 1;
    std::uint8_t versionB = 0;
    std::uint8_t slot = 0;
    bool hang = false;
    bool answer = true;
    int failOpens = 0;
    int enumerations = 0;
    int opens = 0;
    std::vector<CollectionInfo> keyboard; // as listed while plugged in
    std::vector<CollectionInfo> foreign;
    std::vector<std::shared_ptr<HandleState>> handles;
    std::vector<std::uint8_t> feature[kKeyboardCollections + 1]; // by usage
    std::vector<std::vector<std::uint8_t>> written[kKeyboardCollections + 1];
    std::vector<PostedMessage> posted;

    std::function<void(std::uint16_t)> beforeReply;
    std::function<void(std::uint16_t, const std::vector<std::uint8_t>&)> onTake;

    std::mutex watchLock; // held while the watcher is called
    std::function<void()> watcher;

    void NewCollectionsLocked() {
        ++generation;
        keyboard.clear();
        for (std::uint16_t usage = kKeyboardFirstUsage;
             usage < kKeyboardFirstUsage + kKeyboardCollections; ++usage) {
            CollectionInfo info;
            info.path = Widen("\\\\?\\hid#vid_258a&pid_0090&col0" + std::to_string(usage) + "#" +
                              std::to_string(generation) + "&0&000" + std::to_string(usage - 1) +
                              "#{4d1e55b2-f16f-11cf-88cb-001111000030}");
            info.vendorId = kKeyboardVendorId;
            info.productId = kKeyboardProductId;
            info.usagePage = kKeyboardUsagePage;
            info.usage = usage;
            info.inputLength = kInputLength;
            // Usages 1 and 5 only send; the others take commands.
            const bool commands = usage != 1 && usage != 5;
            info.outputLength = commands ? kOutputLength : 0;
            info.featureLength =
                via == ReplyVia::FeatureReports && usage == kUsageCommands ? kFeatureLength : 0;
            keyboard.push_back(info);
        }
        for (auto& f : feature)
            f.clear();
    }

    const CollectionInfo* KeyboardCollection(std::uint16_t usage) const {
        for (const CollectionInfo& info : keyboard) {
            if (info.usage == usage)
                return &info;
        }
        return nullptr;
    }

    void PushInputLocked(std::uint16_t usage, std::vector<std::uint8_t> report) {
        report.resize(kInputLength, 0);
        for (const auto& h : handles) {
            if (h->usage != usage || h->gone || h->stale || h->cancelled)
                continue;
            if (h->input.size() == kInputBuffer)
                h->input.pop_front();
            h->input.push_back(report);
        }
        changed.notify_all();
    }

    void NotifyChange() {
        std::lock_guard<std::mutex> guard(watchLock);
        if (watcher)
            watcher();
    }

    // What the keyboard makes of a report written to it; the reply, when it
    // owes one (empty otherwise).
    std::vector<std::uint8_t> TakeLocked(std::uint16_t usage, const std::uint8_t* report,
                                         std::size_t length) {
        written[usage].emplace_back(report, report + length);
        if (onTake)
            onTake(usage, written[usage].back());
        std::vector<std::uint8_t> reply;
        if (length < 2 || usage != kUsageCommands)
            return reply;
        if (report[0] == kGroupSettings && report[1] == kCmdFirmwareQuery && answer) {
            reply = {kGroupSettings, kCmdFirmwareQuery, versionA, versionB};
        } else if (report[0] == kGroupSettings && report[1] == kCmdSlotQuery && answer) {
            reply = {kGroupSettings, kCmdSlotQuery,
                     static_cast<std::uint8_t>(slot == 0 ? 6 : slot)};
        } else if (length >= 3 && report[0] == kGroupSlot && report[1] == kCmdSelectSlot &&
                   report[2] < 6) {
            slot = report[2];
        }
        return reply;
    }
};

namespace {

class ModelHandle final : public IHidHandle {
public:
    ModelHandle(std::shared_ptr<ModelStack::State> state, std::shared_ptr<HandleState> handle,
                CollectionInfo info)
        : m_state(std::move(state)), m_handle(std::move(handle)), m_info(std::move(info)) {}
    ~ModelHandle() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        auto& all = m_state->handles;
        all.erase(std::remove(all.begin(), all.end(), m_handle), all.end());
    }

    IoStatus Read(std::uint8_t* buffer, std::size_t length, std::size_t& got,
                  std::uint32_t limitMs) override {
        got = 0;
        std::unique_lock<std::mutex> lock(m_state->lock);
        auto ready = [this] {
            return m_handle->cancelled || m_handle->gone || m_handle->stale ||
                   !m_handle->input.empty();
        };
        if (limitMs == kNoTimeLimit)
            m_state->changed.wait(lock, ready);
        else if (!m_state->changed.wait_for(lock, std::chrono::milliseconds(limitMs), ready))
            return IoStatus::TimedOut;
        if (const IoStatus status = Fault(); status != IoStatus::Done)
            return status;
        if (length != m_info.inputLength)
            return IoStatus::Failed;
        const std::vector<std::uint8_t> report = std::move(m_handle->input.front());
        m_handle->input.pop_front();
        std::memcpy(buffer, report.data(), report.size());
        got = report.size();
        return IoStatus::Done;
    }

    IoStatus Write(const std::uint8_t* report, std::size_t length, std::uint32_t limitMs) override {
        std::unique_lock<std::mutex> lock(m_state->lock);
        if (const IoStatus status = Fault(); status != IoStatus::Done)
            return status;
        if (length != m_info.outputLength || length == 0)
            return IoStatus::Failed;
        if (m_state->hang) {
            // Never completes: only the caller's limit or a cancel ends it.
            const bool cancelled = m_state->changed.wait_for(
                lock, std::chrono::milliseconds(limitMs == kNoTimeLimit ? 3600000u : limitMs),
                [this] { return m_handle->cancelled; });
            return cancelled ? IoStatus::Cancelled : IoStatus::TimedOut;
        }
        return Take(lock, report, length);
    }

    IoStatus GetFeature(std::uint8_t* buffer, std::size_t length) override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (const IoStatus status = Fault(); status != IoStatus::Done)
            return status;
        if (length != m_info.featureLength || length == 0)
            return IoStatus::Failed;
        const std::vector<std::uint8_t>& feature = m_state->feature[m_handle->usage];
        const std::uint8_t id = buffer[0];
        std::memset(buffer, 0, length);
        buffer[0] = id;
        if (!feature.empty() && feature[0] == id)
            std::memcpy(buffer, feature.data(), std::min(length, feature.size()));
        return IoStatus::Done;
    }

    IoStatus SetFeature(const std::uint8_t* report, std::size_t length) override {
        std::unique_lock<std::mutex> lock(m_state->lock);
        if (const IoStatus status = Fault(); status != IoStatus::Done)
            return status;
        if (length != m_info.featureLength || length == 0)
            return IoStatus::Failed;
        return Take(lock, report, length);
    }

    void Cancel() override {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_handle->cancelled = true;
        m_state->changed.notify_all();
    }

private:
    IoStatus Fault() const {
        if (m_handle->cancelled)
            return IoStatus::Cancelled;
        if (m_handle->gone)
            return IoStatus::NotConnected;
        if (m_handle->stale)
            return IoStatus::Failed;
        return IoStatus::Done;
    }

    IoStatus Take(std::unique_lock<std::mutex>& lock, const std::uint8_t* report,
                  std::size_t length) {
        const std::uint16_t usage = m_handle->usage;
        if (usage == 0)
            return IoStatus::Done; // another device: taken, nothing follows
        std::vector<std::uint8_t> reply = m_state->TakeLocked(usage, report, length);
        if (reply.empty())
            return IoStatus::Done;
        lock.unlock();
        if (m_state->beforeReply)
            m_state->beforeReply(usage);
        lock.lock();
        if (!m_state->plugged)
            return IoStatus::Done;
        if (m_state->via == ReplyVia::InputReports) {
            m_state->PushInputLocked(usage, std::move(reply));
        } else {
            reply.resize(FeatureLengthOf(usage), 0);
            m_state->feature[usage] = std::move(reply);
        }
        return IoStatus::Done;
    }

    std::size_t FeatureLengthOf(std::uint16_t usage) const {
        const CollectionInfo* info = m_state->KeyboardCollection(usage);
        return info != nullptr && info->featureLength > 0 ? info->featureLength : 2;
    }

    std::shared_ptr<ModelStack::State> m_state;
    std::shared_ptr<HandleState> m_handle;
    const CollectionInfo m_info;
};

} // namespace

ModelStack::ModelStack(ReplyVia via, bool plugged) : m_state(std::make_shared<State>()) {
    m_state->via = via;
    m_state->plugged = plugged;
    m_state->NewCollectionsLocked();
    for (int i = 0; i < kForeignCollections; ++i) {
        CollectionInfo info;
        info.path = Widen("\\\\?\\hid#vid_046d&pid_c08" + std::to_string(i) + "#7&1&0000#" +
                          "{4d1e55b2-f16f-11cf-88cb-001111000030}");
        info.vendorId = 0x046D;
        info.productId = static_cast<std::uint16_t>(0xC080 + i);
        info.usagePage = 0x0001;
        info.usage = static_cast<std::uint16_t>(2 + i);
        info.inputLength = 8;
        m_state->foreign.push_back(info);
    }
}

ModelStack::~ModelStack() = default;

std::vector<CollectionInfo> ModelStack::Enumerate() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    ++m_state->enumerations;
    std::vector<CollectionInfo> all = m_state->foreign;
    if (m_state->plugged)
        all.insert(all.begin() + 1, m_state->keyboard.begin(), m_state->keyboard.end());
    return all;
}

std::unique_ptr<IHidHandle> ModelStack::Open(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    ++m_state->opens;
    const CollectionInfo* found = nullptr;
    bool keyboard = false;
    if (m_state->plugged) {
        for (const CollectionInfo& info : m_state->keyboard) {
            if (info.path == path) {
                found = &info;
                keyboard = true;
            }
        }
    }
    for (const CollectionInfo& info : m_state->foreign) {
        if (info.path == path)
            found = &info;
    }
    if (found == nullptr)
        return nullptr;
    if (keyboard && m_state->failOpens > 0) {
        --m_state->failOpens;
        return nullptr;
    }
    auto handle = std::make_shared<HandleState>();
    handle->usage = keyboard ? found->usage : 0;
    m_state->handles.push_back(handle);
    return std::make_unique<ModelHandle>(m_state, handle, *found);
}

void ModelStack::Watch(std::function<void()> onChange) {
    std::lock_guard<std::mutex> guard(m_state->watchLock);
    m_state->watcher = std::move(onChange);
}

bool ModelStack::Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    const PostedMessage posted{wnd, msg, wParam, lParam};
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->posted.push_back(posted);
    }
    if (onPost)
        onPost(posted);
    return true;
}

void ModelStack::Plug() {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (m_state->plugged)
            return;
        m_state->plugged = true;
        m_state->NewCollectionsLocked();
    }
    m_state->NotifyChange();
}

void ModelStack::Unplug() {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (!m_state->plugged)
            return;
        m_state->plugged = false;
        for (const auto& h : m_state->handles) {
            if (h->usage != 0)
                h->gone = true;
        }
        m_state->changed.notify_all();
    }
    m_state->NotifyChange();
}

bool ModelStack::Plugged() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->plugged;
}

bool ModelStack::SendInput(std::uint16_t usage, const std::vector<std::uint8_t>& report) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (!m_state->plugged || m_state->KeyboardCollection(usage) == nullptr)
        return false;
    m_state->PushInputLocked(usage, report);
    return true;
}

void ModelStack::SetVersion(std::uint8_t a, std::uint8_t b) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->versionA = a;
    m_state->versionB = b;
}

void ModelStack::SetSlot(std::uint8_t slot) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->slot = slot;
}

std::uint8_t ModelStack::Slot() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->slot;
}

void ModelStack::Resume() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    for (const auto& h : m_state->handles)
        h->stale = true;
    m_state->changed.notify_all();
}

void ModelStack::SetBeforeReply(std::function<void(std::uint16_t)> hook) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->beforeReply = std::move(hook);
}

void ModelStack::SetOnTake(
    std::function<void(std::uint16_t, const std::vector<std::uint8_t>&)> hook) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->onTake = std::move(hook);
}

void ModelStack::HangWrites(bool on) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->hang = on;
}

void ModelStack::FailOpens(int count) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->failOpens = count;
}

void ModelStack::AnswerQueries(bool on) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->answer = on;
}

std::vector<PostedMessage> ModelStack::Posted() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->posted;
}

int ModelStack::Enumerations() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->enumerations;
}

int ModelStack::Opens() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->opens;
}

std::vector<std::vector<std::uint8_t>> ModelStack::Written(std::uint16_t usage) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (usage > kKeyboardCollections)
        return {};
    return m_state->written[usage];
}

} // namespace orv::hid::model
