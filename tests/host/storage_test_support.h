// Shared fixture of the storage tests: the in-memory platform with the data
// folder in place, and helpers to put and see the raw bytes of files.
#pragma once

#include "storage/paths.h"
#include "base/wstr.h"
#include "platform/host/host_platform.h"
#include "storage/ini_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace orv::testing {

inline const std::u16string kDataDir = u"C:\\Users\\tester\\AppData\\Roaming\\Orvane\\";

// UTF-16LE bytes with the byte-order mark, as the service writes files.
inline std::string Utf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

class StorageTest : public ::testing::Test {
protected:
    StorageTest() {
        CopyToField(g_szDataDir, kDataDir);
        for (std::u16string level :
             {u"C:\\Users", u"C:\\Users\\tester", u"C:\\Users\\tester\\AppData",
              u"C:\\Users\\tester\\AppData\\Roaming",
              u"C:\\Users\\tester\\AppData\\Roaming\\Orvane"})
            files().MakeDirectory(level);
    }

    host::HostFileSystem& files() { return *host.files; }
    void MakeProfilesFolder() { files().MakeDirectory(kDataDir + u"Profiles"); }

    std::string Bytes(std::u16string_view path) {
        std::string bytes;
        return files().ReadAll(path, bytes) == ReadResult::Ok ? bytes : std::string("<missing>");
    }
    // The file's text without its byte-order mark (UTF-16LE files only).
    std::u16string Text(std::u16string_view path) {
        std::string bytes = Bytes(path);
        if (bytes.substr(0, 2) != "\xFF\xFE")
            return u"<not UTF-16LE>";
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    void Put(std::u16string_view path, std::string_view bytes) {
        ASSERT_TRUE(files().ReplaceContent(path, bytes));
    }
    void PutText(std::u16string_view path, std::u16string_view text) { Put(path, Utf16File(text)); }

    host::HostPlatform host;
};

// Records of 160 KB and more live on the heap in tests.
template <typename T> std::unique_ptr<T> ZeroRecord() {
    auto record = std::make_unique<T>();
    std::memset(record.get(), 0, sizeof(T));
    return record;
}

} // namespace orv::testing
