#include "device/sim/sim_keyboard.h"

#include "device/sim/command_words.h"

#include "device/hid_contract.h"
#include "device/reports.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orv::sim {

namespace {

constexpr std::size_t kFirmwareReplySize = kCommandReportSize;
constexpr std::size_t kSlotReplySize = kSlotQuerySize;
constexpr std::uint8_t kSlotCount = 6;

void AppendHex(std::string& out, std::uint32_t value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, static_cast<unsigned>(value));
    out += buf;
}

void AppendBytes(std::string& out, const std::vector<std::uint8_t>& bytes) {
    out += " :";
    for (std::uint8_t b : bytes) {
        out += ' ';
        AppendHex(out, b, 2);
    }
}

void AppendCollection(std::string& out, const SimEvent& e) {
    out += " id=";
    AppendHex(out, e.deviceId, 4);
    out += " usage=" + std::to_string(e.usage);
}

// The name of the output report written, or answered by a read, when the
// bytes are one the keyboard knows.
void AppendReportName(std::string& out, const SimEvent& e) {
    if (e.kind == SimEventKind::Input)
        return;
    if (const KeyboardReport* report = FindKeyboardReport(e.bytes.data(), e.bytes.size()))
        out += std::string(" report=") + report->name;
}

const char* KindName(SimEventKind kind) {
    switch (kind) {
    case SimEventKind::Filter:
        return "filter";
    case SimEventKind::Callback:
        return "callback";
    case SimEventKind::Open:
        return "open";
    case SimEventKind::Close:
        return "close";
    case SimEventKind::Arrive:
        return "arrive";
    case SimEventKind::Remove:
        return "remove";
    case SimEventKind::Write:
        return "write";
    case SimEventKind::Read:
        return "read";
    case SimEventKind::Input:
        return "input";
    case SimEventKind::Plug:
        return "plug";
    case SimEventKind::Unplug:
        return "unplug";
    case SimEventKind::Slot:
        return "slot";
    }
    return "?";
}

} // namespace

std::string FormatSimEvent(const SimEvent& e) {
    std::string out = std::to_string(e.time) + ' ' + KindName(e.kind);
    switch (e.kind) {
    case SimEventKind::Filter: {
        if (e.bytes.size() != sizeof(HID_DEVICE_FILTER)) {
            out += " none";
            break;
        }
        HID_DEVICE_FILTER f;
        std::memcpy(&f, e.bytes.data(), sizeof f);
        out += " vid=";
        AppendHex(out, f.dwVendorID, 4);
        out += " pid=";
        AppendHex(out, f.dwProductID, 4);
        out += " count=" + std::to_string(f.dwCount);
        for (std::uint32_t i = 0; i < f.dwCount && i < kHidFilterCapacity; ++i) {
            out += ' ' + std::to_string(f.Entries[i].dwUsage) + ':';
            AppendHex(out, f.Entries[i].dwUsagePage, 4);
        }
        break;
    }
    case SimEventKind::Callback:
        out += e.result != 0 ? " set" : " none";
        break;
    case SimEventKind::Open:
        out += " wnd=";
        AppendHex(out, static_cast<std::uint32_t>(e.wnd), 8);
        out += " msg=";
        AppendHex(out, e.msg, 4);
        out += " result=" + std::to_string(e.result);
        break;
    case SimEventKind::Arrive:
    case SimEventKind::Remove:
        AppendCollection(out, e);
        out += " page=";
        AppendHex(out, e.page, 4);
        break;
    case SimEventKind::Write:
    case SimEventKind::Read:
    case SimEventKind::Input:
        AppendCollection(out, e);
        out += " len=" + std::to_string(e.length);
        out += " result=" + std::to_string(e.result);
        AppendReportName(out, e);
        AppendBytes(out, e.bytes);
        break;
    case SimEventKind::Slot:
        out += ' ' + std::to_string(e.result);
        break;
    case SimEventKind::Close:
    case SimEventKind::Plug:
    case SimEventKind::Unplug:
        break;
    }
    return out;
}

long RunSimCommand(SimKeyboard& keyboard, const std::string& command) {
    const std::vector<std::string> w = CommandWords(command);
    if (w.empty())
        return -1;
    const std::string& verb = w[0];
    long a = 0, b = 0;
    if (verb == "plug" && w.size() == 1) {
        keyboard.Plug();
        return 0;
    }
    if (verb == "unplug" && w.size() == 1) {
        keyboard.Unplug();
        return 0;
    }
    if (verb == "report" && w.size() >= 3 && CommandNumber(w[1], 0xFFFF, a)) {
        std::vector<std::uint8_t> report;
        for (std::size_t i = 2; i < w.size(); ++i) {
            if (w[i].size() != 2 || !CommandNumber("0x" + w[i], 0xFF, b))
                return -1;
            report.push_back(static_cast<std::uint8_t>(b));
        }
        return keyboard.SendInputReport(static_cast<std::uint16_t>(a), report) ? 1 : 0;
    }
    if (verb == "version" && w.size() == 3 && CommandNumber(w[1], 0xFF, a) &&
        CommandNumber(w[2], 0xFF, b)) {
        keyboard.SetVersion(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b));
        return 0;
    }
    if (verb == "slot" && w.size() == 2 && CommandNumber(w[1], kSlotCount - 1, a)) {
        keyboard.SetSlot(static_cast<std::uint8_t>(a));
        return 0;
    }
    if (verb == "sixforzero" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
        keyboard.SetSlotZeroAsSix(w[1] == "on");
        return 0;
    }
    if (verb == "fail" && (w.size() == 1 || (w.size() == 2 && CommandNumber(w[1], 1000000, a)))) {
        keyboard.FailNextTransfers(w.size() == 1 ? 1 : static_cast<int>(a));
        return 0;
    }
    if (verb == "get" && w.size() == 2) {
        if (w[1] == "slot")
            return keyboard.Slot();
        if (w[1] == "plugged")
            return keyboard.Plugged() ? 1 : 0;
        if (w[1] == "opened")
            return keyboard.Opened() ? 1 : 0;
        if (w[1] == "version") {
            std::uint8_t va, vb;
            keyboard.Version(va, vb);
            return va * 256 + vb;
        }
    }
    return -1;
}

SimKeyboard::SimKeyboard(ISimEnvironment& env, bool plugged) : m_env(env), m_plugged(plugged) {
    // Every notice this keyboard can post takes its record now, so that
    // plugging it in and out for days allocates nothing more.
    for (std::uint32_t generation = 1; generation <= kPlugInCycle; ++generation) {
        for (std::uint16_t usage = 1; usage <= kCollections; ++usage) {
            for (std::uint32_t status : {kHidStatusRemoved, kHidStatusArrived})
                HidNotices().Notice(status, DeviceId(generation, usage), usage, kUsagePage);
        }
    }
    if (plugged)
        NewCollectionsLocked();
}

std::int32_t SimKeyboard::SetFilter(const HID_DEVICE_FILTER* filter, std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    SimEvent event(SimEventKind::Filter);
    if (filter != nullptr) {
        m_filter = *filter;
        event.bytes.resize(sizeof *filter);
        std::memcpy(event.bytes.data(), filter, sizeof *filter);
    } else {
        m_filter = HID_DEVICE_FILTER{};
    }
    RecordLocked(std::move(event));
    return 1;
}

std::int32_t SimKeyboard::SetCallback(HidInputCallback callback, std::uint32_t) {
    std::lock_guard<std::mutex> callbackGuard(m_callbackLock);
    std::lock_guard<std::mutex> guard(m_lock);
    m_callback = callback;
    SimEvent event(SimEventKind::Callback);
    event.result = callback != nullptr ? 1 : 0;
    RecordLocked(std::move(event));
    return 1;
}

std::int32_t SimKeyboard::Open(WndHandle notifyWnd, MsgId notifyMsg, std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_opened = true;
    m_notifyWnd = notifyWnd;
    m_notifyMsg = notifyMsg;
    m_replies.clear();
    bool present = false;
    for (const Collection& c : m_collections)
        present = present || MatchesLocked(c.usage);
    SimEvent event(SimEventKind::Open);
    event.wnd = notifyWnd;
    event.msg = notifyMsg;
    event.result = m_plugged && present ? 1 : 0;
    const std::int32_t result = event.result;
    RecordLocked(std::move(event));
    if (m_plugged)
        ReportPresentLocked();
    return result;
}

std::int32_t SimKeyboard::Close(std::uint32_t) {
    // A report in progress reaches its callback before the close returns;
    // none follows.
    std::lock_guard<std::mutex> callbackGuard(m_callbackLock);
    std::lock_guard<std::mutex> guard(m_lock);
    m_opened = false;
    m_replies.clear();
    RecordLocked(SimEvent(SimEventKind::Close));
    return 1;
}

std::int32_t SimKeyboard::Write(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    CountTransferLocked();
    SimEvent event(SimEventKind::Write);
    event.deviceId = deviceId;
    event.length = length;
    if (buffer != nullptr)
        event.bytes.assign(buffer, buffer + length);
    const Collection* target = FindLocked(deviceId);
    if (target != nullptr)
        event.usage = target->usage;
    // Every attempt, good or bad, uses up one of the failures asked for.
    const bool failed = TakeFailureLocked();
    const bool ok = !failed && m_opened && target != nullptr && buffer != nullptr && length > 0;
    event.result = ok ? 1 : 0;
    RecordLocked(std::move(event));
    if (!ok)
        return 0;

    // Commands the keyboard answers or acts on; every other report is taken
    // and changes nothing here.
    if (length >= 2 && buffer[0] == kGroupSettings && buffer[1] == kCmdFirmwareQuery) {
        std::vector<std::uint8_t> reply(kFirmwareReplySize, 0);
        reply[0] = kGroupSettings;
        reply[1] = kCmdFirmwareQuery;
        reply[2] = m_versionA;
        reply[3] = m_versionB;
        m_replies[deviceId] = reply;
    } else if (length >= 2 && buffer[0] == kGroupSettings && buffer[1] == kCmdSlotQuery &&
               m_answersSlotQuery) {
        std::vector<std::uint8_t> reply(kSlotReplySize, 0);
        reply[0] = kGroupSettings;
        reply[1] = kCmdSlotQuery;
        reply[2] = m_slot == 0 && m_slotZeroAsSix ? 6 : m_slot;
        m_replies[deviceId] = reply;
    } else if (length >= 3 && buffer[0] == kGroupSlot && buffer[1] == kCmdSelectSlot &&
               buffer[2] < kSlotCount) {
        m_slot = buffer[2];
        SimEvent slot(SimEventKind::Slot);
        slot.result = m_slot;
        RecordLocked(std::move(slot));
    }
    return 1;
}

std::int32_t SimKeyboard::Read(std::uint32_t deviceId, std::uint8_t* buffer, std::uint32_t length,
                               std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    CountTransferLocked();
    SimEvent event(SimEventKind::Read);
    event.deviceId = deviceId;
    event.length = length;
    const Collection* target = FindLocked(deviceId);
    if (target != nullptr)
        event.usage = target->usage;
    auto reply = m_replies.find(deviceId);
    // A read answers the query written before it; with none pending there is
    // nothing to read.
    const bool failed = TakeFailureLocked();
    const bool ok = !failed && m_opened && target != nullptr && buffer != nullptr && length > 0 &&
                    reply != m_replies.end();
    if (ok) {
        const std::vector<std::uint8_t>& bytes = reply->second;
        const std::size_t n = std::min<std::size_t>(length, bytes.size());
        std::memcpy(buffer, bytes.data(), n);
        std::memset(buffer + n, 0, length - n);
        m_replies.erase(reply);
    }
    if (buffer != nullptr)
        event.bytes.assign(buffer, buffer + length);
    event.result = ok ? 1 : 0;
    RecordLocked(std::move(event));
    return ok ? 1 : 0;
}

void SimKeyboard::Plug() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_plugged)
        return;
    m_plugged = true;
    NewCollectionsLocked();
    RecordLocked(SimEvent(SimEventKind::Plug));
    if (m_opened)
        ReportPresentLocked();
}

void SimKeyboard::Unplug() {
    std::lock_guard<std::mutex> guard(m_lock);
    UnplugLocked();
}

void SimKeyboard::UnplugLocked() {
    if (!m_plugged)
        return;
    m_plugged = false;
    m_replies.clear();
    RecordLocked(SimEvent(SimEventKind::Unplug));
    if (m_opened) {
        for (const Collection& c : m_collections) {
            if (MatchesLocked(c.usage))
                NotifyLocked(kHidStatusRemoved, c);
        }
    }
    m_collections.clear();
}

bool SimKeyboard::Plugged() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_plugged;
}

bool SimKeyboard::SendInputReport(std::uint16_t usage, const std::vector<std::uint8_t>& report) {
    std::lock_guard<std::mutex> callbackGuard(m_callbackLock);
    HidInputCallback callback;
    std::uint32_t deviceId = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        callback = m_callback;
        for (const Collection& c : m_collections) {
            if (c.usage == usage)
                deviceId = c.deviceId;
        }
        const bool deliver =
            m_opened && m_plugged && deviceId != 0 && MatchesLocked(usage) && callback != nullptr;
        SimEvent event(SimEventKind::Input);
        event.deviceId = deviceId;
        event.usage = usage;
        event.length = static_cast<std::uint32_t>(report.size());
        event.result = deliver ? 1 : 0;
        event.bytes = report;
        RecordLocked(std::move(event));
        if (!deliver)
            return false;
    }
    callback(deviceId, report.data(), static_cast<std::uint32_t>(report.size()));
    return true;
}

void SimKeyboard::SetVersion(std::uint8_t a, std::uint8_t b) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_versionA = a;
    m_versionB = b;
}

void SimKeyboard::SetSlot(std::uint8_t slot) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_slot = slot;
}

std::uint8_t SimKeyboard::Slot() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_slot;
}

void SimKeyboard::SetSlotZeroAsSix(bool on) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_slotZeroAsSix = on;
}

void SimKeyboard::SetAnswersSlotQuery(bool on) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_answersSlotQuery = on;
}

void SimKeyboard::FailNextTransfers(int count) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_failCount = count > 0 ? count : 0;
}

void SimKeyboard::UnplugAfterTransfers(int count) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_unplugAfter = count >= 0 ? count : -1;
}

// Every write or read counts towards a pull-out asked for; the transfer that
// reaches it already finds the keyboard gone.
void SimKeyboard::CountTransferLocked() {
    if (m_unplugAfter < 0)
        return;
    if (m_unplugAfter == 0) {
        m_unplugAfter = -1;
        UnplugLocked();
        return;
    }
    --m_unplugAfter;
}

bool SimKeyboard::Opened() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_opened;
}

void SimKeyboard::Version(std::uint8_t& a, std::uint8_t& b) {
    std::lock_guard<std::mutex> guard(m_lock);
    a = m_versionA;
    b = m_versionB;
}

std::uint32_t SimKeyboard::DeviceIdOf(std::uint16_t usage) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const Collection& c : m_collections) {
        if (c.usage == usage)
            return c.deviceId;
    }
    return 0;
}

std::vector<SimEvent> SimKeyboard::Events() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<SimEvent> SimKeyboard::Events(SimEventKind kind) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<SimEvent> out;
    for (const SimEvent& e : m_events) {
        if (e.kind == kind)
            out.push_back(e);
    }
    return out;
}

void SimKeyboard::ClearEvents() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<SimEvent>().swap(m_events);
}

bool SimKeyboard::MatchesLocked(std::uint16_t usage) const {
    return HidFilterMatches(m_filter, {static_cast<std::uint16_t>(kVendorId),
                                       static_cast<std::uint16_t>(kProductId), kUsagePage, usage});
}

const SimKeyboard::Collection* SimKeyboard::FindLocked(std::uint32_t deviceId) const {
    if (!m_plugged)
        return nullptr;
    for (const Collection& c : m_collections) {
        if (c.deviceId == deviceId && MatchesLocked(c.usage))
            return &c;
    }
    return nullptr;
}

void SimKeyboard::RecordLocked(SimEvent event) {
    event.time = m_env.Now();
    m_events.push_back(std::move(event));
    if (onEvent)
        onEvent(m_events.back());
}

void SimKeyboard::NotifyLocked(std::uint32_t status, const Collection& collection) {
    const HID_NOTIFY_RECORD* record =
        HidNotices().Notice(status, collection.deviceId, collection.usage, kUsagePage);
    SimEvent event(status == kHidStatusArrived ? SimEventKind::Arrive : SimEventKind::Remove);
    event.deviceId = collection.deviceId;
    event.usage = collection.usage;
    event.page = kUsagePage;
    RecordLocked(std::move(event));
    if (m_notifyWnd != kNoWindow)
        m_env.Post(m_notifyWnd, m_notifyMsg, 1, reinterpret_cast<LParam>(record));
}

void SimKeyboard::ReportPresentLocked() {
    for (const Collection& c : m_collections) {
        if (MatchesLocked(c.usage))
            NotifyLocked(kHidStatusArrived, c);
    }
}

// Every plug-in gives the collections new device ids: the plug-in count in
// the high byte, the usage in the low byte (0x0101..0x0105 first).
std::uint32_t SimKeyboard::DeviceId(std::uint32_t generation, std::uint16_t usage) {
    return (generation << 8) | usage;
}

void SimKeyboard::NewCollectionsLocked() {
    m_generation = m_generation % kPlugInCycle + 1;
    m_collections.clear();
    for (std::uint16_t usage = 1; usage <= kCollections; ++usage)
        m_collections.push_back({usage, DeviceId(m_generation, usage)});
}

bool SimKeyboard::TakeFailureLocked() {
    if (m_failCount == 0)
        return false;
    --m_failCount;
    return true;
}

} // namespace orv::sim
