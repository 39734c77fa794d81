// A udev stand-in for the hidraw stack's tests: a list of nodes that tests
// add and remove (each change reported to the watcher on the test's thread),
// and nodes whose files are one end of a packet socket pair, so a report
// keeps its bounds as on a hidraw node. What a test sends reaches every open
// file of the node, as the kernel copies each input report to every reader;
// removing a node closes the other ends, so its readers see it go.
#pragma once

#include "platform/linux/hidraw_stack.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orv::linux_ {

class FakeHidrawSource final : public IHidrawSource {
public:
    using Bytes = std::vector<std::uint8_t>;

    FakeHidrawSource() {
        // A write to a node whose other end has gone must fail, not end the test.
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~FakeHidrawSource() override {
        for (auto& [devnode, peers] : m_peers)
            for (int fd : peers)
                close(fd);
    }

    std::vector<HidrawNode> Nodes() override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_listings;
        return m_nodes;
    }

    void Watch(std::function<void()> onChange) override {
        std::lock_guard<std::mutex> guard(m_watchLock);
        m_onChange = std::move(onChange);
    }

    int OpenNode(const std::string& devnode) override {
        std::lock_guard<std::mutex> guard(m_lock);
        const bool present = std::any_of(m_nodes.begin(), m_nodes.end(),
                                         [&](const HidrawNode& n) { return n.devnode == devnode; });
        if (!present || m_refuseOpens) {
            errno = present ? EACCES : ENOENT;
            return -1;
        }
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
            return -1;
        m_peers[devnode].push_back(pair[1]);
        return pair[0];
    }

    void Add(HidrawNode node) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_nodes.push_back(std::move(node));
        }
        Changed();
    }

    void Remove(const std::string& devnode) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            std::erase_if(m_nodes, [&](const HidrawNode& n) { return n.devnode == devnode; });
            for (int fd : m_peers[devnode])
                close(fd);
            m_peers.erase(devnode);
        }
        Changed();
    }

    // Opens fail as without permission on the node.
    void RefuseOpens(bool on) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_refuseOpens = on;
    }

    // An input report from the device, to every open file of its node.
    void Send(const std::string& devnode, const Bytes& report) {
        std::lock_guard<std::mutex> guard(m_lock);
        for (int fd : m_peers[devnode])
            send(fd, report.data(), report.size(), MSG_NOSIGNAL);
    }

    // The reports written to the node so far and not yet taken, from any of
    // its open files.
    std::vector<Bytes> Written(const std::string& devnode) {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<Bytes> out;
        for (int fd : m_peers[devnode]) {
            Bytes buffer(4096);
            for (;;) {
                const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n <= 0)
                    break;
                out.emplace_back(buffer.begin(), buffer.begin() + n);
            }
        }
        return out;
    }

    std::size_t OpenFiles(const std::string& devnode) {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_peers[devnode].size();
    }

    int Listings() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_listings;
    }

private:
    void Changed() {
        std::lock_guard<std::mutex> guard(m_watchLock);
        if (m_onChange)
            m_onChange();
    }

    std::mutex m_lock;
    std::vector<HidrawNode> m_nodes;
    std::map<std::string, std::vector<int>> m_peers; // the device's ends
    bool m_refuseOpens = false;
    int m_listings = 0;
    std::mutex m_watchLock; // held while the watcher runs
    std::function<void()> m_onChange;
};

} // namespace orv::linux_
