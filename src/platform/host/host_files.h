// The files of the host build: real files below a temporary folder that
// stands for the drives, with the names Windows refuses refused as well.
// Names match without regard to case as on Windows, but unlike Windows no
// file is ever locked by another program, and error codes are errno values.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <string>

namespace orv::host {

// Real files below a temporary folder. "C:\a\b" is <root>/C/a/b; paths
// without a drive letter are refused, as relative paths have no place here,
// and so are the names Windows refuses, which Linux would take.
class HostFileSystem final : public IFileSystem {
public:
    explicit HostFileSystem(std::string root) : m_root(std::move(root)) {}

    bool Exists(std::u16string_view path) override;
    bool IsDirectory(std::u16string_view path) override;
    bool MakeDirectory(std::u16string_view path) override;
    bool TouchFile(std::u16string_view path) override;
    ReadResult ReadAll(std::u16string_view path, std::string& bytes) override;
    bool CreateNew(std::u16string_view path, std::string_view bytes) override;
    bool ReplaceContent(std::u16string_view path, std::string_view bytes) override;
    // Looks once before the switch; no other program shares these files, so
    // nothing slips in between and `replaced` stays empty.
    ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                  std::string_view bytes, bool force,
                                  std::string& replaced) override;
    bool MoveEntry(std::u16string_view from, std::u16string_view to) override;
    bool RemoveFolder(std::u16string_view path) override;
    ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes, std::string& bytes,
                           std::uint32_t& error) override; // errno values

    // The host path of a platform path; empty when it cannot be mapped. Names
    // Windows refuses are mapped all the same, for tests that look behind
    // the platform; the operations refuse them.
    std::string HostPath(std::u16string_view path) const;
    // Whether Windows refuses the path's names (see files.h).
    static bool RefusedName(std::u16string_view path);
    const std::string& Root() const { return m_root; }

    // Faults: every write fails (a full disk or a read-only folder).
    bool failWrites = false;

private:
    // The entry of `folder` (a host path ending in '/') that `name` names
    // on Windows: itself when it exists, else one matching it without regard
    // to case, else `name` as it is.
    static std::string MatchingName(const std::string& folder, std::u16string_view name);
    // The host path of a path the operations accept; empty otherwise.
    std::string Usable(std::u16string_view path) const;

    std::string m_root;
};

} // namespace orv::host
