#include "messaging/launcher.h"

#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

bool ResolveShortcut(std::u16string_view path, std::u16string& target) {
    target.clear();
    std::u16string product, feature, component;
    std::uint32_t result = Installer().GetShortcutTarget(path, product, feature, component);
    if (result != IInstaller::kFunctionFailed) {
        // Only a successful query names a component; any other answer, or a
        // component without an installed path, leaves the shortcut unresolved
        // rather than starting an empty or meaningless path.
        if (result == 0)
            Installer().GetComponentPath(product, component, target);
        if (!target.empty())
            return true;
        target.clear();
        return false;
    }
    if (Shell().ResolveShellLink(path, target) && !target.empty())
        return true;
    target.clear();
    return false;
}

namespace {

void RemoveAll(std::u16string& text, std::u16string_view what) {
    for (std::size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at))
        text.erase(at, what.size());
}

} // namespace

void LaunchPath(std::u16string path) {
    if (path.empty())
        return;
    std::u16string target;
    if (ResolveShortcut(path, target)) {
        path = target;
        // Shortcuts made on 32-bit systems may point into " (x86)" folders
        // that do not exist here.
        if (!Files().Exists(path))
            RemoveAll(path, u" (x86)");
    }
    Shell().Execute(u"open", path, u"", SW_SHOWNORMAL);
    Clock().Sleep(5);
}

void LaunchKeyProgram(const PROFILE_DATA& profile, WParam wParam, LParam lParam) {
    // Only the service's own key handling asks, with wParam 0 and a key index.
    if (wParam != 0 || lParam < 0 || lParam >= kKeyCount)
        return;
    LaunchPath(std::u16string(FieldText(profile.Buttons[lParam].LaunchPath)));
}

} // namespace orv
