#include "platform/linux/linux_kernel.h"

#include "base/wstr.h"
#include "platform/linux/linux_backends.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::linux_ {

std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp";
    if (folder == "/tmp") // shared with other users: a folder of this user's own
        folder += "/orvane-" + std::to_string(getuid());
    else
        folder += "/orvane";
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

namespace {

// A mutex name becomes a file name: every character that is no letter, digit,
// '-' or '_' is written as its code in hexadecimal.
std::string LockFileName(std::u16string_view name) {
    std::string out;
    for (char16_t c : name) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
            c == u'-' || c == u'_')
            out += static_cast<char>(c);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%%%04X", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out + ".lock";
}

class LinuxKernelServices final : public IKernel {
public:
    KernelHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override {
        std::lock_guard<std::mutex> guard(m_lock);
        alreadyExisted = false;
        std::u16string key(name);
        auto held = m_held.find(key);
        if (held != m_held.end()) {
            alreadyExisted = true;
            ++held->second.handles;
        } else {
            std::string path = LockFolder() + "/" + LockFileName(name);
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0)
                return 0;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                // Another process holds it: it exists, and this handle owns nothing.
                ::close(fd);
                alreadyExisted = true;
                KernelHandle handle = m_next++;
                m_handles[handle] = std::u16string();
                return handle;
            }
            m_held[key] = Held{fd, 1};
        }
        KernelHandle handle = m_next++;
        m_handles[handle] = key;
        return handle;
    }
    void ReleaseMutex(KernelHandle) override {}
    void CloseHandle(KernelHandle handle) override {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_handles.find(handle);
        if (it == m_handles.end())
            return;
        auto held = m_held.find(it->second);
        if (held != m_held.end() && --held->second.handles == 0) {
            ::close(held->second.fd); // lets go of the lock
            m_held.erase(held);
        }
        m_handles.erase(it);
    }
    std::u16string ModulePath() override {
        std::string buf(256, '\0');
        for (;;) {
            ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
            if (n < 0)
                return {};
            if (static_cast<std::size_t>(n) < buf.size())
                return FromUtf8(std::string_view(buf.data(), static_cast<std::size_t>(n)));
            if (buf.size() >= 65536)
                return {};
            buf.resize(buf.size() * 2);
        }
    }
    std::u16string SystemErrorText(std::uint32_t code) override {
        if (code == 0)
            return {};
        return FromUtf8(std::strerror(static_cast<int>(code)));
    }

private:
    struct Held {
        int fd;
        int handles;
    };
    std::mutex m_lock;
    std::map<std::u16string, Held> m_held;            // names this process holds
    std::map<KernelHandle, std::u16string> m_handles; // empty name: held elsewhere
    KernelHandle m_next = 1;
};

class LinuxDebugOutput final : public IDebugOutput {
public:
    LinuxDebugOutput() : m_enabled(std::getenv("ORV_DEBUG") != nullptr) {}
    void Write(std::u16string_view text) override {
        if (!m_enabled)
            return;
        std::string line = ToUtf8(text);
        if (line.empty() || line.back() != '\n')
            line += '\n';
        std::fputs(line.c_str(), stderr);
    }

private:
    bool m_enabled;
};

} // namespace

IKernel& LinuxKernel() {
    static LinuxKernelServices kernel;
    return kernel;
}

IDebugOutput& LinuxDebug() {
    static LinuxDebugOutput debug;
    return debug;
}

} // namespace orv::linux_
