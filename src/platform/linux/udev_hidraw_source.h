// The hidraw nodes of the running system, as udev knows them: each node of
// the "hidraw" subsystem with the vendor and product ids of its parent "hid"
// device (HID_ID) and that device's report descriptor (from sysfs, else the
// node's HIDIOCGRDESC), and a udev monitor on a thread of its own that tells
// of nodes added and removed. Without a monitor (no netlink socket, as in
// some containers) the watcher looks again every two seconds instead.
#pragma once

#include "platform/linux/hidraw_stack.h"

#include <memory>

namespace orv::linux_ {

std::unique_ptr<IHidrawSource> MakeUdevHidrawSource();

} // namespace orv::linux_
