// The HID stack seam (hiddevice/hid_stack.h) over Linux hidraw nodes, so the
// library's logic for real keyboards (hid_engine) runs on Linux unchanged.
//
// A node is one USB interface and may hold several top-level collections;
// Windows lists each as a device of its own, and so does this stack: each
// top-level collection of a node's report descriptor is one CollectionInfo,
// its path the node's with the collection's usage page and usage after a
// '#' ("/dev/hidraw3#ff00:0002"). Opening a collection opens the node once
// more: the kernel gives every open file its own copy of each input report,
// and the handle keeps only the reports whose id belongs to its collection
// (all of them when the node holds one collection or numbers no reports),
// so each collection's reader sees what Windows would give it.
//
// Byte 0 of every report is its id, as on Windows, also on a node that
// numbers no reports: such a node's input reports come without it, so the
// handle puts a 0 in front; an output or feature report goes to the kernel
// as it is, which drops a leading 0 itself for such a node.
//
// Where the nodes come from is behind IHidrawSource: udev on a real system
// (udev_hidraw_source.h), a list of nodes in the tests.
#pragma once

#include "hiddevice/hid_stack.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv::linux_ {

// One hidraw node: its device file, the ids of the HID device it belongs to
// and that device's report descriptor.
struct HidrawNode {
    std::string devnode;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::vector<std::uint8_t> descriptor;
};

class IHidrawSource {
public:
    virtual ~IHidrawSource() = default;

    // The nodes present now.
    virtual std::vector<HidrawNode> Nodes() = 0;
    // Starts calling `onChange` (on a thread of the source) whenever a node
    // is added or removed; an empty function stops it, and once that returns
    // no call is running or follows.
    virtual void Watch(std::function<void()> onChange) = 0;
    // Opens a node for reading and writing without blocking (O_RDWR |
    // O_CLOEXEC | O_NONBLOCK); -1, with errno set, when that fails.
    virtual int OpenNode(const std::string& devnode) = 0;
};

using PostFunction = std::function<bool(WndHandle, MsgId, WParam, LParam)>;

class HidrawStack final : public hid::IHidStack {
public:
    // `post` is the window system's thread-safe post (the library's notices).
    HidrawStack(IHidrawSource& source, PostFunction post);

    std::vector<hid::CollectionInfo> Enumerate() override;
    std::unique_ptr<hid::IHidHandle> Open(const std::u16string& path) override;
    void Watch(std::function<void()> onChange) override;
    bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;

    // What a handle needs to know of its collection.
    struct Route {
        std::string devnode;
        bool numbered = false;         // the node's reports carry their id
        bool wholeNode = false;        // the node's only collection: every report is its
        std::vector<std::uint8_t> ids; // otherwise, the ids that are its
    };

private:
    std::vector<hid::CollectionInfo> ListLocked();

    IHidrawSource& m_source;
    const PostFunction m_post;
    std::mutex m_lock;
    std::map<std::u16string, Route> m_routes; // of the latest listing, by path
};

// An open collection over a node's file descriptor, which it owns. Public for
// the tests, which give it one end of a socket pair.
std::unique_ptr<hid::IHidHandle> MakeHidrawHandle(int fd, HidrawStack::Route route);

} // namespace orv::linux_
