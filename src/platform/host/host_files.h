// The files of the host build: real files below a temporary folder that
// stands for the drives, with the names Windows refuses refused as well.
// Names match without regard to case as on Windows, but unlike Windows no
// file is ever locked by another program, and error codes are errno values.
// The operations are the POSIX ones the Linux backend uses too.
#pragma once

#include "platform/common/posix_files.h"

#include <cstdint>
#include <string>

namespace orv::host {

// Real files below a temporary folder. "C:\a\b" is <root>/C/a/b; paths
// without a drive letter are refused, as relative paths have no place here,
// and so are the names Windows refuses, which Linux would take.
class HostFileSystem final : public posix::PosixFileSystem {
public:
    explicit HostFileSystem(std::string root) : m_root(std::move(root)) {}

    // The host path of a platform path; empty when it cannot be mapped. Names
    // Windows refuses are mapped all the same, for tests that look behind
    // the platform; the operations refuse them.
    std::string HostPath(std::u16string_view path) const;
    // Whether Windows refuses the path's names (see files.h).
    static bool RefusedName(std::u16string_view path) { return posix::RefusedName(path); }
    const std::string& Root() const { return m_root; }

    // Faults: every write fails (a full disk or a read-only folder).
    bool failWrites = false;

private:
    std::string MapPath(std::u16string_view path) const override { return HostPath(path); }
    bool WritesRefused() const override { return failWrites; }

    std::string m_root;
};

} // namespace orv::host
