// Real files on a POSIX system, named by the core's paths: the part of the
// file services that the host build (files below a folder standing for the
// drives) and the Linux backend (the user's own folders) share. A backend
// says how a core path becomes a POSIX path; everything else is here:
// names matched without regard to case as on Windows, the names Windows
// refuses refused as well (a data folder must stay copyable back), whole
// files written to a temporary beside them that takes the name in one
// rename, and error codes that are errno values.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::posix {

// Whether Windows refuses the path's names (see files.h). ':' is no refused
// name: Wine takes it as part of a name (NTFS as the start of a stream's).
bool RefusedName(std::u16string_view path);

// The entry of `folder` (a POSIX path ending in '/') that `name` names on
// Windows: itself when it exists, else one matching it without regard to
// case, else `name` as it is.
std::string MatchingName(const std::string& folder, std::u16string_view name);

// Appends the names of `rest` (separated by '\' or '/') to `out`, each
// matched as MatchingName does.
void AppendMatchedNames(std::string& out, std::u16string_view rest);

class PosixFileSystem : public IFileSystem {
public:
    bool Exists(std::u16string_view path) final;
    bool IsDirectory(std::u16string_view path) final;
    bool MakeDirectory(std::u16string_view path) final;
    bool TouchFile(std::u16string_view path) final;
    ReadResult ReadAll(std::u16string_view path, std::string& bytes) final;
    bool CreateNew(std::u16string_view path, std::string_view bytes) final;
    bool ReplaceContent(std::u16string_view path, std::string_view bytes) final;
    // Other programs may share these files: a write into the file that
    // slips in after the look is still seen, and handed back in `replaced`.
    ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                  std::string_view bytes, bool force, std::string& replaced) final;
    bool MoveEntry(std::u16string_view from, std::u16string_view to) final;
    bool RemoveFolder(std::u16string_view path) final;
    ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes, std::string& bytes,
                           std::uint32_t& error) final;

protected:
    PosixFileSystem() = default;
    ~PosixFileSystem() override = default;

    // The POSIX path of a core path; empty when it names nothing here. Called
    // only for paths that hold no refused name.
    virtual std::string MapPath(std::u16string_view path) const = 0;
    // Whether every write is to fail (a full disk or a read-only folder).
    virtual bool WritesRefused() const { return false; }

private:
    // The POSIX path of a path the operations accept; empty otherwise.
    std::string Usable(std::u16string_view path) const;
};

} // namespace orv::posix
