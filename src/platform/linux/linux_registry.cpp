#include "platform/linux/linux_registry.h"

#include "base/wstr.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace orv::linux_ {

namespace {

constexpr char16_t kValuesFile[] = u"registry.reg";

void AppendQuoted(std::string& out, std::u16string_view text) {
    out += '"';
    for (char c : ToUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    out += '"';
}

// Reads a quoted text at `pos`, leaving `pos` past it; false when malformed.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::u16string& text) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    std::string bytes;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            text = FromUtf8(bytes);
            return true;
        }
        if (c == '\\' && pos + 1 < line.size()) {
            char next = line[++pos];
            if (next == 'x' && pos + 2 < line.size()) {
                bytes += static_cast<char>(
                    std::strtoul(std::string(line.substr(pos + 1, 2)).c_str(), nullptr, 16));
                pos += 2;
            } else {
                bytes += next;
            }
        } else {
            bytes += c;
        }
    }
    return false;
}

} // namespace

std::string LinuxRegistryStore::Format(const std::map<std::u16string, RegistryValue>& values) {
    std::string out;
    for (const auto& [name, value] : values) {
        AppendQuoted(out, name);
        out += '=';
        if (value.isDword) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(value.dword));
            out += hex;
        } else {
            AppendQuoted(out, value.text);
        }
        out += '\n';
    }
    return out;
}

std::map<std::u16string, RegistryValue> LinuxRegistryStore::Parse(std::string_view text) {
    std::map<std::u16string, RegistryValue> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::size_t pos = 0;
        std::u16string name;
        if (!ReadQuoted(line, pos, name) || pos >= line.size() || line[pos] != '=')
            continue; // a line this backend did not write
        ++pos;
        RegistryValue value;
        if (line.substr(pos, 6) == "dword:") {
            value.isDword = true;
            value.dword = static_cast<std::uint32_t>(
                std::strtoul(std::string(line.substr(pos + 6)).c_str(), nullptr, 16));
        } else if (!ReadQuoted(line, pos, value.text)) {
            continue;
        }
        values[name] = value;
    }
    return values;
}

void LinuxRegistryStore::MapKey(std::u16string_view keyPath, std::u16string folder) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_folders[FoldedCopy(keyPath)] = std::move(folder);
}

std::u16string LinuxRegistryStore::FolderOf(std::u16string_view keyPath) {
    auto it = m_folders.find(FoldedCopy(keyPath));
    if (it != m_folders.end())
        return it->second;
    // The service's key lives in its data folder, wherever that is now.
    if (EqualsNoCase(keyPath, u"SOFTWARE\\Orvane")) {
        std::u16string appData = Shell().AppDataFolder();
        if (!appData.empty())
            return appData + u"/Orvane";
    }
    return {};
}

std::optional<RegistryValue> LinuxRegistryStore::Read(std::u16string_view keyPath,
                                                      std::u16string_view name) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    std::u16string folder = FolderOf(keyPath);
    if (folder.empty() || !Files().IsDirectory(folder))
        return std::nullopt;
    std::string bytes;
    if (Files().ReadAll(folder + u"/" + kValuesFile, bytes) != ReadResult::Ok)
        return std::nullopt;
    auto values = Parse(bytes);
    for (auto& [stored, value] : values) {
        if (EqualsNoCase(stored, name))
            return value;
    }
    return std::nullopt;
}

bool LinuxRegistryStore::Set(std::u16string_view keyPath, std::u16string_view name,
                             const RegistryValue& value) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::u16string folder = FolderOf(keyPath);
        if (folder.empty() || !Files().IsDirectory(folder))
            return false;
        std::u16string file = folder + u"/" + kValuesFile;
        std::string bytes;
        if (Files().ReadAll(file, bytes) == ReadResult::Failed)
            return false;
        auto values = Parse(bytes);
        // Names match without regard to case; the first spelling stays.
        std::u16string stored(name);
        for (const auto& entry : values) {
            if (EqualsNoCase(entry.first, name))
                stored = entry.first;
        }
        values[stored] = value;
        if (!Files().ReplaceContent(file, Format(values)))
            return false;
    }
    if (onChange)
        onChange(keyPath, name);
    return true;
}

bool LinuxRegistryStore::SetString(std::u16string_view keyPath, std::u16string_view name,
                                   std::u16string_view value) {
    return Set(keyPath, name, RegistryValue{false, std::u16string(value), 0});
}

bool LinuxRegistryStore::SetDword(std::u16string_view keyPath, std::u16string_view name,
                                  std::uint32_t value) {
    return Set(keyPath, name, RegistryValue{true, {}, value});
}

LinuxRegistryStore& LinuxRegistry() {
    static LinuxRegistryStore registry;
    return registry;
}

} // namespace orv::linux_
