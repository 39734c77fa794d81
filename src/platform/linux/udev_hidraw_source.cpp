#include "platform/linux/udev_hidraw_source.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

namespace orv::linux_ {

namespace {

constexpr int kRescanFallbackMs = 2000;
constexpr std::size_t kMaxDescriptor = HID_MAX_DESCRIPTOR_SIZE;

// "0003:0000258A:00000090": bus, vendor, product.
bool ParseHidId(const char* text, std::uint16_t& vendor, std::uint16_t& product) {
    unsigned bus = 0;
    unsigned v = 0;
    unsigned p = 0;
    if (text == nullptr || std::sscanf(text, "%x:%x:%x", &bus, &v, &p) != 3)
        return false;
    vendor = static_cast<std::uint16_t>(v);
    product = static_cast<std::uint16_t>(p);
    return true;
}

std::vector<std::uint8_t> ReadSysfsDescriptor(const char* hidSyspath) {
    std::ifstream file(std::string(hidSyspath) + "/report_descriptor", std::ios::binary);
    if (!file)
        return {};
    std::vector<std::uint8_t> bytes;
    char c;
    while (bytes.size() < kMaxDescriptor && file.get(c))
        bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
}

// Needs read access to the node, which sysfs does not.
std::vector<std::uint8_t> ReadNodeDescriptor(const char* devnode) {
    const int fd = open(devnode, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    std::vector<std::uint8_t> bytes;
    int size = 0;
    hidraw_report_descriptor descriptor{};
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
        static_cast<std::size_t>(size) <= kMaxDescriptor) {
        descriptor.size = static_cast<std::uint32_t>(size);
        if (ioctl(fd, HIDIOCGRDESC, &descriptor) == 0)
            bytes.assign(descriptor.value, descriptor.value + size);
    }
    close(fd);
    return bytes;
}

bool DescribeNode(udev_device* device, HidrawNode& node) {
    const char* devnode = udev_device_get_devnode(device);
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
    if (devnode == nullptr || hid == nullptr ||
        !ParseHidId(udev_device_get_property_value(hid, "HID_ID"), node.vendorId, node.productId))
        return false;
    node.devnode = devnode;
    node.descriptor = ReadSysfsDescriptor(udev_device_get_syspath(hid));
    if (node.descriptor.empty())
        node.descriptor = ReadNodeDescriptor(devnode);
    return !node.descriptor.empty();
}

class UdevHidrawSource final : public IHidrawSource {
public:
    ~UdevHidrawSource() override { Watch({}); }

    std::vector<HidrawNode> Nodes() override {
        std::vector<HidrawNode> nodes;
        // A udev context is not to be shared between threads: one per listing.
        udev* context = udev_new();
        if (context == nullptr)
            return nodes;
        udev_enumerate* listing = udev_enumerate_new(context);
        if (listing != nullptr && udev_enumerate_add_match_subsystem(listing, "hidraw") >= 0 &&
            udev_enumerate_scan_devices(listing) >= 0) {
            udev_list_entry* entry = nullptr;
            udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(listing)) {
                udev_device* device =
                    udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
                if (device == nullptr)
                    continue;
                HidrawNode node;
                if (DescribeNode(device, node))
                    nodes.push_back(std::move(node));
                udev_device_unref(device);
            }
        }
        if (listing != nullptr)
            udev_enumerate_unref(listing);
        udev_unref(context);
        return nodes;
    }

    void Watch(std::function<void()> onChange) override {
        std::lock_guard<std::mutex> guard(m_watchLock);
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            while (write(m_stop, &one, sizeof one) < 0 && errno == EINTR) {
            }
            m_thread.join();
            close(m_stop);
            m_stop = -1;
        }
        if (!onChange)
            return;
        m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_stop < 0)
            return;
        m_thread = std::thread([this, onChange = std::move(onChange)] { Loop(onChange); });
    }

    int OpenNode(const std::string& devnode) override {
        return open(devnode.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    }

private:
    void Loop(const std::function<void()>& onChange) {
        udev* context = udev_new();
        udev_monitor* monitor =
            context != nullptr ? udev_monitor_new_from_netlink(context, "udev") : nullptr;
        if (monitor != nullptr &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor) < 0)) {
            udev_monitor_unref(monitor);
            monitor = nullptr;
        }
        const int monitorFd = monitor != nullptr ? udev_monitor_get_fd(monitor) : -1;
        for (;;) {
            pollfd fds[2] = {{m_stop, POLLIN, 0}, {monitorFd, POLLIN, 0}};
            const int ready =
                poll(fds, monitorFd >= 0 ? 2 : 1, monitorFd >= 0 ? -1 : kRescanFallbackMs);
            if (ready < 0 && errno != EINTR)
                break;
            if (fds[0].revents != 0)
                break;
            if (monitorFd < 0) {
                if (ready == 0)
                    onChange();
                continue;
            }
            if ((fds[1].revents & POLLIN) == 0)
                continue;
            udev_device* device = udev_monitor_receive_device(monitor);
            if (device == nullptr)
                continue;
            const char* action = udev_device_get_action(device);
            const bool change = action != nullptr && (std::strcmp(action, "add") == 0 ||
                                                      std::strcmp(action, "remove") == 0);
            udev_device_unref(device);
            if (change)
                onChange();
        }
        if (monitor != nullptr)
            udev_monitor_unref(monitor);
        if (context != nullptr)
            udev_unref(context);
    }

    std::mutex m_watchLock; // one Watch at a time
    std::thread m_thread;
    int m_stop = -1;
};

} // namespace

std::unique_ptr<IHidrawSource> MakeUdevHidrawSource() {
    return std::make_unique<UdevHidrawSource>();
}

} // namespace orv::linux_
