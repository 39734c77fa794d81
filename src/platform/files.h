// File system services. Paths are platform paths in UTF-16; the core builds
// them with '\' separators, and every backend accepts those. Every backend
// refuses the names the platform refuses (on Windows, ? * | < > " and control
// characters): such a path names nothing, no write creates it, and a read of
// it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

enum class ReadResult { Ok, NotFound, Failed };
enum class ReplaceOutcome { Done, Changed, Failed };

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    virtual bool Exists(std::u16string_view path) = 0; // any file system entry
    virtual bool IsDirectory(std::u16string_view path) = 0;
    virtual bool MakeDirectory(std::u16string_view path) = 0;

    // Opens the path as a file for reading and writing, creating it when
    // missing, and closes it again. False when it cannot be opened as a file.
    virtual bool TouchFile(std::u16string_view path) = 0;

    virtual ReadResult ReadAll(std::u16string_view path, std::string& bytes) = 0;
    // Creates the file with these bytes only if no entry of that name exists.
    // Other programs see no file or the whole of it, never a part.
    virtual bool CreateNew(std::u16string_view path, std::string_view bytes) = 0;
    // Replaces the whole content so that a reader sees either the old or the
    // new bytes, never a mix, and the bytes are on disk when this returns.
    virtual bool ReplaceContent(std::u16string_view path, std::string_view bytes) = 0;
    // Replaces the content as ReplaceContent does, for a caller that made
    // the bytes from `expected`, what it last read. Unless `force`, nothing
    // is written (Changed) when the file no longer holds `expected`: another
    // program wrote it since. A backend whose files other programs share
    // looks as late as it can, right before the switch, and when it can tell
    // what the file held at the switch itself and that was not `expected` (a
    // write that slipped in), it puts those bytes into `replaced`, which is
    // otherwise left empty.
    virtual ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                          std::string_view bytes, bool force,
                                          std::string& replaced) = 0;
    // Gives a file or folder another name in one step; false, changing
    // nothing, when an entry of the new name exists.
    virtual bool MoveEntry(std::u16string_view from, std::u16string_view to) = 0;
    // Removes a folder together with the files directly in it. A folder that
    // holds another folder loses nothing; so does a path that names no folder
    // or names a link to one, which is never followed. False when the folder
    // is still there (also when one of its files could not be removed).
    virtual bool RemoveFolder(std::u16string_view path) = 0;

    // As ReadAll, for a file of at most `maxBytes` bytes (a larger one fails
    // as too large). On failure `error` receives the platform's error code of
    // the step that failed, for IKernel::SystemErrorText; 0 when none.
    virtual ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes,
                                   std::string& bytes, std::uint32_t& error) = 0;
};

} // namespace orv
