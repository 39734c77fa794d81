#include "x_desk.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace orv::linux_test {

namespace {

Display* D(void* display) {
    return static_cast<Display*>(display);
}

// Spawns `argv` with DISPLAY set to `display` (when given); its standard
// output on `out` when asked for.
GPid Spawn(std::vector<std::string> argv, const std::string& display, int* out) {
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    gchar** env = g_get_environ();
    if (!display.empty())
        env = g_environ_setenv(env, "DISPLAY", display.c_str(), TRUE);
    GPid pid = 0;
    GError* error = nullptr;
    auto flags = static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH |
                                          G_SPAWN_STDERR_TO_DEV_NULL);
    bool started = g_spawn_async_with_pipes(nullptr, args.data(), env, flags, nullptr, nullptr,
                                            &pid, nullptr, out, nullptr, &error);
    g_strfreev(env);
    if (!started) {
        g_error_free(error);
        return 0;
    }
    return pid;
}

// A line from `fd`, waiting at most `ms`.
std::string ReadLine(int fd, int ms) {
    std::string line;
    std::uint32_t end = NowMs() + static_cast<std::uint32_t>(ms);
    while (static_cast<std::int32_t>(end - NowMs()) > 0) {
        GPollFD poll{fd, G_IO_IN, 0};
        if (g_poll(&poll, 1, 50) <= 0)
            continue;
        char c;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return {};
}

bool HasProperty(Display* display, Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False,
                                    AnyPropertyType, &type, &format, &count, &after, &data);
    if (data != nullptr)
        XFree(data);
    return status == Success && type != None;
}

} // namespace

std::uint32_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

XDesk::~XDesk() {
    Stop();
}

void XDesk::Stop() {
    if (m_display != nullptr)
        XCloseDisplay(D(m_display));
    m_display = nullptr;
    // The programs, the manager and then the server.
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
        g_spawn_close_pid(*it);
    }
    m_processes.clear();
}

bool XDesk::Start(std::string& error) {
    int out = -1;
    GPid server = Spawn(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"},
        "", &out);
    if (server == 0) {
        error = "Xvfb did not start (is it installed?)";
        return false;
    }
    m_processes.push_back(server);
    std::string number = ReadLine(out, 10000);
    close(out);
    if (number.empty()) {
        error = "Xvfb named no display";
        return false;
    }
    m_name = ":" + number;
    m_display = XOpenDisplay(m_name.c_str());
    if (m_display == nullptr) {
        error = "no connection to " + m_name;
        return false;
    }
    GPid manager = Spawn({"openbox"}, m_name, nullptr);
    if (manager == 0) {
        error = "openbox did not start (is it installed?)";
        return false;
    }
    m_processes.push_back(manager);
    Display* display = D(m_display);
    for (int waited = 0; waited < 10000; waited += 20) {
        if (HasProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK"))
            return true;
        g_usleep(20000);
    }
    error = "openbox never took the display";
    return false;
}

std::uint32_t XDesk::StartProgram(const std::string& program, const std::string& folder,
                                  const std::string& exe) {
    std::filesystem::create_directories(folder);
    std::string copy = folder + "/" + exe;
    std::error_code failed;
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing,
                               failed);
    if (failed)
        return 0;
    int out = -1;
    GPid pid = Spawn({copy, exe}, m_name, &out);
    if (pid == 0)
        return 0;
    m_processes.push_back(pid);
    std::string id = ReadLine(out, 10000);
    close(out);
    auto window = static_cast<std::uint32_t>(std::strtoul(id.c_str(), nullptr, 16));
    // A new window takes the front as it opens; that must be over before
    // another window is brought to the front, or it may take it back.
    for (int waited = 0; window != 0 && waited < 2000 && ActiveWindow() != window; waited += 5)
        g_usleep(5000);
    return window;
}

std::uint32_t XDesk::ActiveWindow() {
    Display* display = D(m_display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::uint32_t active = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display),
                           XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1)
        active = static_cast<std::uint32_t>(*reinterpret_cast<unsigned long*>(data));
    if (data != nullptr)
        XFree(data);
    return active;
}

std::uint32_t XDesk::Activate(std::uint32_t window) {
    Display* display = D(m_display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // from a pager or task bar: never refused as focus stealing
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
    for (std::uint32_t start = NowMs(); NowMs() - start < 3000;) {
        if (ActiveWindow() == window)
            return NowMs();
        g_usleep(500);
    }
    return 0;
}

bool SetLinkExe(const std::string& profileFile, const std::string& link) {
    std::ifstream in(profileFile, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0)
        return false;
    gchar* utf8 = g_convert(bytes.data() + 2, static_cast<gssize>(bytes.size() - 2), "UTF-8",
                            "UTF-16LE", nullptr, nullptr, nullptr);
    if (utf8 == nullptr)
        return false;
    std::istringstream lines(utf8);
    g_free(utf8);
    std::string text;
    bool set = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("LinkExe0=", 0) == 0) {
            line = "LinkExe0=" + link + "\r";
            set = true;
        }
        text += line + "\n";
    }
    if (!set)
        return false;
    gsize size = 0;
    gchar* wide = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-16LE", "UTF-8",
                            nullptr, &size, nullptr);
    if (wide == nullptr)
        return false;
    std::ofstream out(profileFile, std::ios::binary | std::ios::trunc);
    out.write("\xFF\xFE", 2);
    out.write(wide, static_cast<std::streamsize>(size));
    g_free(wide);
    return static_cast<bool>(out);
}

std::vector<SlotCommand> SlotCommands(const std::string& simLog, std::size_t from) {
    std::vector<SlotCommand> commands;
    std::ifstream log(simLog);
    std::size_t index = 0;
    for (std::string line; std::getline(log, line); ++index) {
        // "<time> write ... : 0A 03 <slot> ..."
        std::size_t at = line.find(" : 0A 03 ");
        if (index < from || at == std::string::npos)
            continue;
        commands.push_back({static_cast<std::uint32_t>(std::strtoul(line.c_str(), nullptr, 10)),
                            static_cast<int>(std::strtol(line.c_str() + at + 9, nullptr, 16))});
    }
    return commands;
}

std::size_t LineCount(const std::string& file) {
    std::ifstream in(file);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        ++count;
    return count;
}

} // namespace orv::linux_test
