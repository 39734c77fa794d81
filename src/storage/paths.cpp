#include "storage/paths.h"

#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

char16_t g_szExeDir[kPathCapacity];
char16_t g_szDataDir[kPathCapacity];

std::u16string EnsureDataFolder(std::u16string_view suffix) {
    std::u16string appData = Shell().AppDataFolder();
    if (appData.empty()) {
        Debug().Write(u"no application-data folder\n");
        return {};
    }
    std::u16string full = appData + std::u16string(suffix);
    if (full.size() >= kPathCapacity) {
        Debug().Write(u"data folder path too long\n");
        return {};
    }
    if (Files().TouchFile(full)) {
        Debug().Write(u"mousehid exist");
        return full;
    }
    // Create each level in turn; a level that cannot be created is left to
    // fail later reads and writes, which fall back to defaults.
    for (std::size_t p = suffix.find(u'\\'); p != std::u16string_view::npos && p < suffix.size();
         p = suffix.find(u'\\', p + 1)) {
        std::u16string level = appData + std::u16string(suffix.substr(0, p));
        if (!Files().IsDirectory(level))
            Files().MakeDirectory(level);
    }
    return full;
}

std::u16string ExecutableFolder() {
    std::u16string module = Kernel().ModulePath();
    if (module.empty() || module.size() >= kPathCapacity)
        return {};
    return FolderOf(module);
}

} // namespace orv
