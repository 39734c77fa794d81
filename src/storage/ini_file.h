// INI files shared with the configuration program, which reads and writes
// them with the platform's INI functions at any moment between our calls.
//
// CIniFile is a small value holding one path; each of its calls is one
// complete operation on the file. CIniSession groups the reads and writes of
// one larger operation (a profile save writes two dozen keys) so that the
// file is read once and replaced once: the result on disk is what the same
// writes made one by one would give, and changes that another program made
// to the file meanwhile are kept, because the file is read again just before
// it is replaced and the writes are applied to what it holds then.
//
// Every write reaches the disk before the call returns, and always as a
// whole new file: a reader, or a crash in the middle, never sees half of it.
#pragma once

#include "storage/ini_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The longest path the service uses, in UTF-16 units. A longer one is never
// cut (that would name another file): it reads as missing and takes no writes.
constexpr std::size_t kMaxIniPath = 259;

// The string reader's buffer holds this many units with its terminator.
constexpr std::size_t kReadStringChars = 2048;

class CIniFile {
public:
    explicit CIniFile(std::u16string path) : m_path(std::move(path)) {}
    const std::u16string& Path() const { return m_path; }

    // Creates the file holding only the UTF-16LE byte-order mark, if no file
    // of that name exists.
    void EnsureExists() const;

    // The value of the key with its quotes dropped, at most 2,047 units; the
    // default when the key is missing.
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view def) const;
    // The platform's integer reader: the default when the key is missing or
    // its value empty, else the number at the start of the value (0 if none).
    std::int32_t ReadInt(std::u16string_view section, std::u16string_view key,
                         std::int32_t def) const;
    // Fills `data` from a structure value; false, leaving it untouched, when
    // the key is missing or its value malformed.
    bool ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                    std::size_t size) const;

    // Each write creates the file (UTF-16LE) when missing and is on disk on
    // return. Nonzero on success.
    int WriteString(std::u16string_view section, std::u16string_view key,
                    std::u16string_view value) const;
    int WriteInt(std::u16string_view section, std::u16string_view key, std::int32_t number) const;
    int WriteStruct(std::u16string_view section, std::u16string_view key, const void* data,
                    std::size_t size) const;

private:
    std::u16string m_path;
};

class CIniSession {
public:
    explicit CIniSession(const CIniFile& file) : m_path(file.Path()) {}
    CIniSession(const CIniSession&) = delete;
    CIniSession& operator=(const CIniSession&) = delete;

    // Reads see the file as first read, with this session's writes applied.
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view def);
    std::int32_t ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t def);
    bool ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                    std::size_t size);

    // Writes wait for Commit.
    void WriteString(std::u16string_view section, std::u16string_view key,
                     std::u16string_view value);
    void WriteInt(std::u16string_view section, std::u16string_view key, std::int32_t number);
    void WriteStruct(std::u16string_view section, std::u16string_view key, const void* data,
                     std::size_t size);

    // Puts the writes made since the last commit on disk, in one replacement
    // of the file, creating it when missing. True when they are on disk (or
    // there was nothing to write); false leaves the file as it was.
    bool Commit();

private:
    struct Edit {
        std::u16string section, key, value;
    };

    struct SlippedIn {
        Edit edit;
        std::optional<std::u16string> placed; // the key's value in the file that replaced it
    };

    static std::vector<SlippedIn> ChangesPutOut(std::string_view before, std::string_view after,
                                                const ini::Document& placed);
    const ini::Document& Doc();
    bool PathUsable() const { return !m_path.empty() && m_path.size() <= kMaxIniPath; }

    std::u16string m_path;
    bool m_loaded = false;
    bool m_readOk = false; // m_bytes holds the file as read
    std::string m_bytes;   // the file as last read or written
    ini::Document m_doc;   // m_bytes with the pending edits applied
    std::vector<Edit> m_edits;
    bool m_changed = false; // the pending edits changed m_doc
};

} // namespace orv
