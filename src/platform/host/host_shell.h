// Shell services of the host build: the application-data folder is a
// setting, a started program is only recorded (a test decides whether the
// start succeeds and may make the program's windows), and shortcuts resolve
// from a table the tests fill instead of from .lnk files.
#pragma once

#include "platform/shell.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orv::host {

class HostShell final : public IShell {
public:
    struct Started {
        std::u16string verb; // empty for the default verb
        std::u16string file;
        std::u16string params;
        int showCmd;
    };

    std::u16string AppDataFolder() override { return appData; }
    bool Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                 int showCmd) override;

    bool ResolveShellLink(std::u16string_view link, std::u16string& target) override;

    std::u16string appData = u"C:\\Users\\tester\\AppData\\Roaming";
    std::vector<Started> started;
    std::map<std::u16string, std::u16string> shellLinks; // shortcut -> target
    // Decides whether a start succeeds, and may create the program's windows.
    std::function<bool(const Started&)> onExecute;
};

} // namespace orv::host
