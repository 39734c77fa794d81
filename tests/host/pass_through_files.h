// A file system that hands every call to another one. Tests derive from it to
// step in on the one call they are about.
#pragma once

#include "platform/files.h"

namespace orv::testing {

class PassThroughFiles : public IFileSystem {
public:
    explicit PassThroughFiles(IFileSystem& inner) : m_inner(inner) {}

    bool Exists(std::u16string_view p) override { return m_inner.Exists(p); }
    bool IsDirectory(std::u16string_view p) override { return m_inner.IsDirectory(p); }
    bool MakeDirectory(std::u16string_view p) override { return m_inner.MakeDirectory(p); }
    bool TouchFile(std::u16string_view p) override { return m_inner.TouchFile(p); }
    ReadResult ReadAll(std::u16string_view p, std::string& b) override {
        return m_inner.ReadAll(p, b);
    }
    bool CreateNew(std::u16string_view p, std::string_view b) override {
        return m_inner.CreateNew(p, b);
    }
    bool ReplaceContent(std::u16string_view p, std::string_view b) override {
        return m_inner.ReplaceContent(p, b);
    }
    ReplaceOutcome ReplaceChecked(std::u16string_view p, std::string_view expected,
                                  std::string_view b, bool force, std::string& replaced) override {
        return m_inner.ReplaceChecked(p, expected, b, force, replaced);
    }
    bool MoveEntry(std::u16string_view a, std::u16string_view b) override {
        return m_inner.MoveEntry(a, b);
    }
    bool RemoveFolder(std::u16string_view p) override { return m_inner.RemoveFolder(p); }
    ReadResult ReadAllUpTo(std::u16string_view p, std::size_t maxBytes, std::string& b,
                           std::uint32_t& error) override {
        return m_inner.ReadAllUpTo(p, maxBytes, b, error);
    }

protected:
    IFileSystem& m_inner;
};

} // namespace orv::testing
