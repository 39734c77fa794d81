// Shell services: the per-user application-data folder and starting programs.
#pragma once

#include <string>
#include <string_view>

namespace orv {

class IShell {
public:
    virtual ~IShell() = default;
    // The roaming application-data folder (created when missing), without a
    // trailing separator; empty when the shell cannot supply it.
    virtual std::u16string AppDataFolder() = 0;
    // Starts a program or opens a document. A null verb is the default verb.
    virtual bool Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                         int showCmd) = 0;
    // The target of a shell shortcut (.lnk) through the shell link object
    // (at most 259 units). False when the file is no shortcut or any step of
    // the resolution fails.
    virtual bool ResolveShellLink(std::u16string_view link, std::u16string& target) = 0;
};

} // namespace orv
