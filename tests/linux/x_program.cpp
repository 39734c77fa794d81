// A program with one X window, as a game or an editor would have: it names
// its process and machine on the window (_NET_WM_PID, WM_CLIENT_MACHINE) as
// toolkits do, prints the window's id once the window is mapped, and runs
// until it is ended. The tests copy it under the name of each program they
// link, since a link matches the executable's file name.
//
// Usage: x_program TITLE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || argc < 2) {
        std::fprintf(stderr, "x_program: no display or no title\n");
        return 1;
    }
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0,
                                        WhitePixel(display, DefaultScreen(display)));
    // The name, the class and the client machine (from the host name).
    XClassHint hint{argv[1], argv[1]};
    Xutf8SetWMProperties(display, window, argv[1], argv[1], argv, argc, nullptr, nullptr, &hint);
    long pid = getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XSelectInput(display, window, StructureNotifyMask);
    // A window manager that is still starting may drop the request; it is
    // asked again until the window is mapped.
    for (bool mapped = false; !mapped;) {
        XMapWindow(display, window);
        XFlush(display);
        for (int waited = 0; !mapped && waited < 500; waited += 10) {
            XEvent event;
            mapped = XCheckTypedWindowEvent(display, window, MapNotify, &event) != 0;
            if (!mapped)
                usleep(10000);
        }
    }
    std::printf("0x%lx\n", window);
    std::fflush(stdout);
    for (XEvent event;;)
        XNextEvent(display, &event);
}
