#include "platform/linux/hidraw_stack.h"

#include "platform/linux/hid_descriptor.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace orv::linux_ {

namespace {

using hid::CollectionInfo;
using hid::IHidHandle;
using hid::IoStatus;
using SteadyClock = std::chrono::steady_clock;

// The largest report the kernel hands over, plus its id byte.
constexpr std::size_t kMaxReport = 16384 + 1;
// The feature ioctls carry their length in 14 bits.
constexpr std::size_t kMaxFeature = (1u << 14) - 1;

// After the device has gone the kernel fails every call on its node with
// one of these.
IoStatus FromErrno(int error) {
    switch (error) {
    case ENODEV:
    case EIO:
    case ENXIO:
    case ESHUTDOWN:
        return IoStatus::NotConnected;
    default:
        return IoStatus::Failed;
    }
}

std::u16string Widen(const std::string& text) {
    return {text.begin(), text.end()};
}

std::u16string CollectionPath(const std::string& devnode, const HidTopCollection& collection,
                              int duplicate) {
    char suffix[32];
    if (duplicate == 0)
        std::snprintf(suffix, sizeof suffix, "#%04x:%04x", collection.usagePage, collection.usage);
    else
        std::snprintf(suffix, sizeof suffix, "#%04x:%04x.%d", collection.usagePage,
                      collection.usage, duplicate + 1);
    return Widen(devnode + suffix);
}

class HidrawHandle final : public IHidHandle {
public:
    HidrawHandle(int fd, int cancel, HidrawStack::Route route)
        : m_fd(fd), m_cancel(cancel), m_route(std::move(route)), m_scratch(kMaxReport) {}
    ~HidrawHandle() override {
        Cancel();
        if (m_writer.joinable())
            m_writer.join(); // a write inside the kernel ends with its limit
        close(m_fd);
        close(m_cancel);
    }
    HidrawHandle(const HidrawHandle&) = delete;
    HidrawHandle& operator=(const HidrawHandle&) = delete;

    IoStatus Read(std::uint8_t* buffer, std::size_t length, std::size_t& got,
                  std::uint32_t limitMs) override {
        got = 0;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            const IoStatus ready = Wait(POLLIN, limitMs, deadline);
            if (ready != IoStatus::Done)
                return ready;
            // The node's reports are read whole, one per call.
            const ssize_t n = read(m_fd, m_scratch.data(), m_scratch.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                return FromErrno(errno);
            }
            if (n == 0)
                return IoStatus::NotConnected; // the other end is gone
            if (m_route.numbered && !Mine(m_scratch[0]))
                continue; // another collection's report
            got = Deliver(static_cast<std::size_t>(n), buffer, length);
            return IoStatus::Done;
        }
    }

    // The kernel writes a report synchronously, for as long as the device
    // takes to accept it (up to its own five-second limit), so the write runs
    // on the handle's writer thread and the caller waits only for `limitMs`.
    // A write the caller gave up on still goes out; the next waits for it.
    IoStatus Write(const std::uint8_t* report, std::size_t length, std::uint32_t limitMs) override {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
        std::unique_lock<std::mutex> lock(m_writeLock);
        auto waitFor = [&](auto done) {
            if (limitMs == hid::kNoTimeLimit) {
                m_writeChanged.wait(lock, done);
                return true;
            }
            return m_writeChanged.wait_until(lock, deadline, done);
        };
        if (!waitFor([this] { return m_cancelled || !m_writing; }))
            return IoStatus::TimedOut;
        if (m_cancelled)
            return IoStatus::Cancelled;
        if (!m_writer.joinable())
            m_writer = std::thread([this] { WriterLoop(); });
        m_job.assign(report, report + length);
        m_writing = true;
        const std::uint64_t ticket = ++m_jobs;
        m_writeChanged.notify_all();
        if (!waitFor([&] { return m_cancelled || m_finished == ticket; }))
            return IoStatus::TimedOut;
        return m_finished == ticket ? m_result : IoStatus::Cancelled;
    }

    IoStatus GetFeature(std::uint8_t* buffer, std::size_t length) override {
        if (length == 0 || length > kMaxFeature)
            return IoStatus::Failed;
        if (ioctl(m_fd, HIDIOCGFEATURE(length), buffer) < 0)
            return FromErrno(errno);
        return IoStatus::Done;
    }

    IoStatus SetFeature(const std::uint8_t* report, std::size_t length) override {
        if (length == 0 || length > kMaxFeature)
            return IoStatus::Failed;
        // The ioctl does not write to the buffer; its declaration is not const.
        if (ioctl(m_fd, HIDIOCSFEATURE(length), const_cast<std::uint8_t*>(report)) < 0)
            return FromErrno(errno);
        return IoStatus::Done;
    }

    void Cancel() override {
        // Left set: every later wait ends at once too.
        const std::uint64_t one = 1;
        while (write(m_cancel, &one, sizeof one) < 0 && errno == EINTR) {
        }
        std::lock_guard<std::mutex> guard(m_writeLock);
        m_cancelled = true;
        m_writeChanged.notify_all();
    }

private:
    void WriterLoop() {
        std::unique_lock<std::mutex> lock(m_writeLock);
        for (;;) {
            m_writeChanged.wait(lock, [this] { return m_cancelled || m_finished != m_jobs; });
            if (m_finished == m_jobs)
                return; // cancelled with nothing left to write
            const std::vector<std::uint8_t> job = std::move(m_job);
            const std::uint64_t ticket = m_jobs;
            lock.unlock();
            const IoStatus status = WriteNow(job);
            lock.lock();
            m_result = status;
            m_finished = ticket;
            m_writing = false;
            m_writeChanged.notify_all();
        }
    }

    IoStatus WriteNow(const std::vector<std::uint8_t>& report) {
        for (;;) {
            const IoStatus ready = Wait(POLLOUT, hid::kNoTimeLimit, SteadyClock::now());
            if (ready != IoStatus::Done)
                return ready;
            const ssize_t n = write(m_fd, report.data(), report.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                return FromErrno(errno);
            }
            return static_cast<std::size_t>(n) == report.size() ? IoStatus::Done : IoStatus::Failed;
        }
    }

    // Waits until the node is ready for `events`, Cancel is called, or the
    // limit runs out.
    IoStatus Wait(short events, std::uint32_t limitMs, SteadyClock::time_point deadline) {
        for (;;) {
            int timeout = -1;
            if (limitMs != hid::kNoTimeLimit) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
                timeout = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
            pollfd fds[2] = {{m_fd, events, 0}, {m_cancel, POLLIN, 0}};
            const int ready = poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return IoStatus::Failed;
            }
            if (fds[1].revents != 0)
                return IoStatus::Cancelled;
            if (ready == 0)
                return IoStatus::TimedOut;
            if ((fds[0].revents & events) != 0)
                return IoStatus::Done; // a report waiting goes before a hang-up
            if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return IoStatus::NotConnected;
        }
    }

    bool Mine(std::uint8_t id) const {
        return m_route.wholeNode ||
               std::find(m_route.ids.begin(), m_route.ids.end(), id) != m_route.ids.end();
    }

    // The report read into the scratch buffer, with its id in byte 0, cut to
    // `length`; the bytes given.
    std::size_t Deliver(std::size_t n, std::uint8_t* buffer, std::size_t length) const {
        if (length == 0)
            return 0;
        if (m_route.numbered) {
            const std::size_t copy = std::min(n, length);
            std::memcpy(buffer, m_scratch.data(), copy);
            return copy;
        }
        buffer[0] = 0;
        const std::size_t copy = std::min(n, length - 1);
        std::memcpy(buffer + 1, m_scratch.data(), copy);
        return copy + 1;
    }

    const int m_fd;
    const int m_cancel;
    const HidrawStack::Route m_route;
    std::vector<std::uint8_t> m_scratch; // used by the one reader

    std::mutex m_writeLock; // everything below
    std::condition_variable m_writeChanged;
    bool m_cancelled = false;
    bool m_writing = false;          // a write is on the writer thread
    std::vector<std::uint8_t> m_job; // the report it is to write
    std::uint64_t m_jobs = 0;        // writes handed over
    std::uint64_t m_finished = 0;    // the last one done
    IoStatus m_result = IoStatus::Done;
    std::thread m_writer; // started by the first write
};

} // namespace

std::unique_ptr<IHidHandle> MakeHidrawHandle(int fd, HidrawStack::Route route) {
    const int cancel = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancel < 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<HidrawHandle>(fd, cancel, std::move(route));
}

HidrawStack::HidrawStack(IHidrawSource& source, PostFunction post)
    : m_source(source), m_post(std::move(post)) {}

std::vector<CollectionInfo> HidrawStack::ListLocked() {
    std::vector<CollectionInfo> found;
    m_routes.clear();
    for (const HidrawNode& node : m_source.Nodes()) {
        // A node whose descriptor cannot be read holds nothing we could use.
        const std::optional<HidDescriptorInfo> parsed =
            ParseHidDescriptor(node.descriptor.data(), node.descriptor.size());
        if (!parsed)
            continue;
        const std::vector<HidTopCollection>& collections = parsed->collections;
        for (std::size_t i = 0; i < collections.size(); ++i) {
            const HidTopCollection& c = collections[i];
            int duplicate = 0;
            for (std::size_t j = 0; j < i; ++j) {
                if (collections[j].usagePage == c.usagePage && collections[j].usage == c.usage)
                    ++duplicate;
            }
            CollectionInfo info;
            info.path = CollectionPath(node.devnode, c, duplicate);
            info.vendorId = node.vendorId;
            info.productId = node.productId;
            info.usagePage = c.usagePage;
            info.usage = c.usage;
            info.inputLength = c.inputLength;
            info.outputLength = c.outputLength;
            info.featureLength = c.featureLength;
            m_routes[info.path] =
                Route{node.devnode, parsed->usesReportIds, collections.size() == 1, c.reportIds};
            found.push_back(std::move(info));
        }
    }
    return found;
}

std::vector<CollectionInfo> HidrawStack::Enumerate() {
    std::lock_guard<std::mutex> guard(m_lock);
    return ListLocked();
}

std::unique_ptr<IHidHandle> HidrawStack::Open(const std::u16string& path) {
    Route route;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_routes.find(path);
        if (it == m_routes.end()) {
            ListLocked(); // listed before this path was known
            it = m_routes.find(path);
            if (it == m_routes.end())
                return nullptr;
        }
        route = it->second;
    }
    const int fd = m_source.OpenNode(route.devnode);
    if (fd < 0)
        return nullptr; // no permission (no udev rule yet), or gone
    return MakeHidrawHandle(fd, std::move(route));
}

void HidrawStack::Watch(std::function<void()> onChange) {
    m_source.Watch(std::move(onChange));
}

bool HidrawStack::Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    return m_post && m_post(wnd, msg, wParam, lParam);
}

} // namespace orv::linux_
