// A virtual X display of one test's own: Xvfb on a free display number
// with a window manager that keeps _NET_ACTIVE_WINDOW (openbox), programs
// with one window each on it (copies of x_program), and the activation of
// a window as a task bar asks for it. Shared by the foreground tests and
// the foreground benchmark.
#pragma once

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orv::linux_test {

// The monotonic clock in milliseconds, as the service stamps the keyboard's log.
std::uint32_t NowMs();

class XDesk {
public:
    XDesk() = default;
    ~XDesk();
    XDesk(const XDesk&) = delete;
    XDesk& operator=(const XDesk&) = delete;

    // Starts the display and the window manager; false with `error` told.
    bool Start(std::string& error);
    // ":<n>", for DISPLAY.
    const std::string& Name() const { return m_name; }

    // Starts `program` (x_program) copied as `folder`/`exe`; the id of its
    // window once mapped, 0 on failure.
    std::uint32_t StartProgram(const std::string& program, const std::string& folder,
                               const std::string& exe);
    // Asks the window manager to make the window active and waits until it
    // is: when it was seen active (NowMs), 0 when it did not become active.
    std::uint32_t Activate(std::uint32_t window);
    std::uint32_t ActiveWindow();
    // Ends the programs, the window manager and the display, as when the X
    // session ends.
    void Stop();

private:
    void* m_display = nullptr; // Display*
    std::string m_name;
    std::vector<GPid> m_processes; // the server first, then the manager, then the programs
};

// Sets LinkExe0 of a profile file (UTF-16LE with its mark, as the service
// writes it) to `link`; false when the file could not be read or written.
bool SetLinkExe(const std::string& profileFile, const std::string& link);

// The slot of each slot command in the keyboard's log from line `from` on,
// with the time it was logged.
struct SlotCommand {
    std::uint32_t time;
    int slot;
};
std::vector<SlotCommand> SlotCommands(const std::string& simLog, std::size_t from = 0);
std::size_t LineCount(const std::string& file);

} // namespace orv::linux_test
