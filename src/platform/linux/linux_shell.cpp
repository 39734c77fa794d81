// Linux backend of the shell services. The application-data folder is
// $XDG_CONFIG_HOME (default ~/.config); its "orvane" folder is made here
// when missing, so the core's "Orvane" data folder lands there by the
// case-blind name matching of the file services. A program starts when the
// file is executable, with its parameters split as a shell would; there are
// no shell verbs and no shortcut files.
#include "platform/linux/linux_backends.h"

#include "base/wstr.h"
#include "platform/linux/linux_files.h"

#include <glib.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::linux_ {

namespace {

bool MakeFolders(const std::string& path) {
    for (std::size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
        std::string level = path.substr(0, p);
        struct stat st;
        if (::stat(level.c_str(), &st) != 0 && ::mkdir(level.c_str(), 0700) != 0)
            return false;
        if (p == std::string::npos)
            return true;
    }
}

class LinuxShellServices final : public IShell {
public:
    std::u16string AppDataFolder() override {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        std::string folder;
        if (config != nullptr && config[0] == '/') {
            folder = config;
        } else {
            const char* home = std::getenv("HOME");
            if (home == nullptr || home[0] != '/')
                return {};
            folder = std::string(home) + "/.config";
        }
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        std::u16string wide = FromUtf8(folder);
        if (!MakeFolders(folder))
            return {};
        // The XDG name of the data folder, unless one of any case is there.
        if (PosixPath(wide + u"/Orvane") == folder + "/Orvane")
            ::mkdir((folder + "/orvane").c_str(), 0700);
        return wide;
    }
    bool Execute(const char16_t*, std::u16string_view file, std::u16string_view params,
                 int) override {
        std::string program = PosixPath(file);
        if (program.empty() || ::access(program.c_str(), X_OK) != 0)
            return false;
        gchar** args = nullptr;
        gint count = 0;
        std::string text = ToUtf8(params);
        if (!text.empty() && !g_shell_parse_argv(text.c_str(), &count, &args, nullptr))
            return false;
        GPtrArray* argv = g_ptr_array_new();
        g_ptr_array_add(argv, program.data());
        for (gint i = 0; i < count; ++i)
            g_ptr_array_add(argv, args[i]);
        g_ptr_array_add(argv, nullptr);
        gboolean started = g_spawn_async(nullptr, reinterpret_cast<gchar**>(argv->pdata), nullptr,
                                         G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, nullptr);
        g_ptr_array_free(argv, TRUE);
        g_strfreev(args);
        return started != FALSE;
    }
    bool ResolveShellLink(std::u16string_view, std::u16string&) override { return false; }
};

} // namespace

IShell& LinuxShell() {
    static LinuxShellServices shell;
    return shell;
}

} // namespace orv::linux_
