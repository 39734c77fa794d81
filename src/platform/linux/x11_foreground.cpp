#include "platform/linux/x11_foreground.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace orv::linux_ {

struct X11Foreground::Connection {
    Display* display = nullptr;
    Window root = 0;
    Atom activeWindow = 0;
    Atom wmPid = 0;
    bool broken = false;
};

namespace {

// A request about a window that has just gone fails with BadWindow; Xlib's
// own handler would end the process for it.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// The server went away (the X session ended, XWayland restarted): Xlib's
// own handler would end the process. The display is left alone from now
// on, as if there had never been one.
int ReportConnectionLost(Display*) {
    return 0;
}

void ConnectionLost(Display*, void* connection) {
    static_cast<X11Foreground::Connection*>(connection)->broken = true;
}

// One 32-bit item of a window's property, or nothing.
bool ReadCardinal(Display* display, Window window, Atom property, Atom type, unsigned long& out) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType,
                                    &format, &count, &after, &data);
    bool found = status == Success && actualType == type && format == 32 && count == 1;
    if (found) // 32-bit items come as longs
        out = *reinterpret_cast<unsigned long*>(data);
    if (data != nullptr)
        XFree(data);
    return found;
}

// The machine the window's program runs on, empty when it does not say.
std::string ClientMachine(Display* display, Window window) {
    XTextProperty text{};
    std::string machine;
    if (XGetWMClientMachine(display, window, &text) != 0 && text.value != nullptr &&
        text.format == 8)
        machine.assign(reinterpret_cast<const char*>(text.value), text.nitems);
    if (text.value != nullptr)
        XFree(text.value);
    return machine;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace

// The source that reads the connection's events: ready when the socket
// has data or Xlib already holds events it read while waiting for a reply.
struct XSource {
    GSource base;
    X11Foreground* owner;
    gpointer tag;

    static Display* DisplayOf(GSource* source) {
        X11Foreground::Connection* x = reinterpret_cast<XSource*>(source)->owner->m_x;
        return x->broken ? nullptr : x->display;
    }
    static gboolean Prepare(GSource* source, gint* timeout) {
        *timeout = -1;
        Display* display = DisplayOf(source);
        return display == nullptr || XEventsQueued(display, QueuedAlready) > 0;
    }
    static gboolean Check(GSource* source) {
        auto* self = reinterpret_cast<XSource*>(source);
        Display* display = DisplayOf(source);
        return display == nullptr || XEventsQueued(display, QueuedAlready) > 0 ||
               (g_source_query_unix_fd(source, self->tag) & (G_IO_IN | G_IO_HUP | G_IO_ERR)) != 0;
    }
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
        X11Foreground* owner = reinterpret_cast<XSource*>(source)->owner;
        owner->ReadEvents();
        return owner->Available() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }
};

namespace {
GSourceFuncs g_xFuncs = {XSource::Prepare, XSource::Check, XSource::Dispatch,
                         nullptr,          nullptr,        nullptr};
} // namespace

X11Foreground::X11Foreground(GMainContext* context) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return;
    Display* display = XOpenDisplay(name);
    if (display == nullptr)
        return;
    XSetErrorHandler(IgnoreError);
    XSetIOErrorHandler(ReportConnectionLost);
    m_x = new Connection;
    m_x->display = display;
    XSetIOErrorExitHandler(display, ConnectionLost, m_x);
    m_x->root = DefaultRootWindow(display);
    m_x->activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    m_x->wmPid = XInternAtom(display, "_NET_WM_PID", False);
    XSelectInput(display, m_x->root, PropertyChangeMask);
    XFlush(display);

    m_source = g_source_new(&g_xFuncs, sizeof(XSource));
    auto* source = reinterpret_cast<XSource*>(m_source);
    source->owner = this;
    source->tag = g_source_add_unix_fd(m_source, ConnectionNumber(display), G_IO_IN);
    g_source_set_priority(m_source, G_PRIORITY_DEFAULT);
    g_source_attach(m_source, context);
}

X11Foreground::~X11Foreground() {
    if (m_source != nullptr) {
        g_source_destroy(m_source);
        g_source_unref(m_source);
    }
    if (m_x == nullptr)
        return;
    // A connection that broke is not closed: Xlib no longer knows its state.
    if (!m_x->broken)
        XCloseDisplay(m_x->display);
    delete m_x;
}

bool X11Foreground::Available() const {
    return m_x != nullptr && !m_x->broken;
}

void X11Foreground::ReadEvents() {
    bool changed = false;
    while (Available() && XPending(m_x->display) > 0) {
        XEvent event;
        XNextEvent(m_x->display, &event);
        if (event.type == PropertyNotify && event.xproperty.window == m_x->root &&
            event.xproperty.atom == m_x->activeWindow)
            changed = true;
    }
    // Several changes read at once are one change: the last one counts.
    if (changed && onChange)
        onChange();
}

std::uint32_t X11Foreground::ActiveWindow() {
    unsigned long window = 0;
    if (!Available() ||
        !ReadCardinal(m_x->display, m_x->root, m_x->activeWindow, XA_WINDOW, window))
        return 0;
    return static_cast<std::uint32_t>(window);
}

std::uint32_t X11Foreground::ProcessOf(std::uint32_t window) {
    unsigned long pid = 0;
    if (!Available() || window == 0 ||
        !ReadCardinal(m_x->display, window, m_x->wmPid, XA_CARDINAL, pid))
        return 0;
    std::string machine = ClientMachine(m_x->display, window);
    if (!machine.empty() && machine != HostName())
        return 0;
    return static_cast<std::uint32_t>(pid);
}

bool X11Foreground::Exists(std::uint32_t window) {
    if (!Available() || window == 0)
        return false;
    XWindowAttributes attributes;
    return XGetWindowAttributes(m_x->display, window, &attributes) != 0;
}

} // namespace orv::linux_
