#include "platform/common/posix_files.h"

#include "base/wstr.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orv::posix {

bool RefusedName(std::u16string_view path) {
    for (char16_t c : path) {
        if (c < 0x20 || c == u'?' || c == u'*' || c == u'|' || c == u'<' || c == u'>' || c == u'"')
            return true;
    }
    return false;
}

std::string MatchingName(const std::string& folder, std::u16string_view name) {
    std::string exact = ToUtf8(name);
    struct stat st;
    if (name == u"." || name == u".." || ::lstat((folder + exact).c_str(), &st) == 0)
        return exact;
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr)
        return exact;
    std::string found = exact;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualsNoCase(FromUtf8(entry->d_name), name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

void AppendMatchedNames(std::string& out, std::u16string_view rest) {
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos)
            end = rest.size();
        std::u16string_view name = rest.substr(start, end - start);
        if (start > 0)
            out += '/';
        if (!name.empty())
            out += MatchingName(out, name);
        start = end + 1;
    }
}

namespace {

bool WriteFully(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

// A new name is on disk only once its folder is.
void SyncFolderOf(const std::string& path) {
    std::string folder = path.substr(0, path.rfind('/'));
    int dir = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// The bytes into a fresh file beside the target, to be renamed over it; a
// failed write leaves nothing behind.
bool WriteTemporary(const std::string& temp, std::string_view bytes) {
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFully(fd, bytes);
    ::close(fd);
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

// The whole of the file at POSIX path `p`, unless it is larger than `maxBytes`.
ReadResult ReadFile(const std::string& p, std::size_t maxBytes, std::string& bytes,
                    std::uint32_t& error) {
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) {
        error = static_cast<std::uint32_t>(errno);
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::NotFound : ReadResult::Failed;
    }
    auto fail = [&](int code) {
        error = static_cast<std::uint32_t>(code);
        bytes.clear();
        ::close(fd);
        return ReadResult::Failed;
    };
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return fail(EFBIG);
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return fail(EFBIG);
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

} // namespace

std::string PosixFileSystem::Usable(std::u16string_view path) const {
    return RefusedName(path) ? std::string() : MapPath(path);
}

bool PosixFileSystem::Exists(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool PosixFileSystem::IsDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::MakeDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || WritesRefused())
        return false;
    return ::mkdir(p.c_str(), 0755) == 0;
}

bool PosixFileSystem::TouchFile(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || (WritesRefused() && !Exists(path)))
        return false;
    // A path ending in a separator names a folder, never a file.
    if (p.back() == '/')
        return false;
    int fd = ::open(p.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

ReadResult PosixFileSystem::ReadAll(std::u16string_view path, std::string& bytes) {
    std::uint32_t error = 0;
    return ReadAllUpTo(path, std::string().max_size(), bytes, error);
}

ReadResult PosixFileSystem::ReadAllUpTo(std::u16string_view path, std::size_t maxBytes,
                                        std::string& bytes, std::uint32_t& error) {
    bytes.clear();
    error = 0;
    if (RefusedName(path)) {
        error = EINVAL;
        return ReadResult::Failed;
    }
    std::string p = Usable(path);
    if (p.empty()) {
        error = ENOENT;
        return ReadResult::NotFound;
    }
    return ReadFile(p, maxBytes, bytes, error);
}

bool PosixFileSystem::CreateNew(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || WritesRefused())
        return false;
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0)
        return false;
    // As on Windows, the bytes go to a temporary that takes the name only if
    // it is still free, so a reader never meets the file half written.
    std::string temp = p + ".tmp";
    if (!WriteTemporary(temp, bytes))
        return false;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, p.c_str(), RENAME_NOREPLACE) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolderOf(p);
    return true;
}

bool PosixFileSystem::ReplaceContent(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || WritesRefused())
        return false;
    std::string temp = p + ".tmp";
    if (!WriteTemporary(temp, bytes))
        return false;
    if (::rename(temp.c_str(), p.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolderOf(p);
    return true;
}

ReplaceOutcome PosixFileSystem::ReplaceChecked(std::u16string_view path, std::string_view expected,
                                               std::string_view bytes, bool force,
                                               std::string& replaced) {
    replaced.clear();
    std::string p = Usable(path);
    if (p.empty() || WritesRefused())
        return ReplaceOutcome::Failed;
    std::string temp = p + ".tmp";
    if (!WriteTemporary(temp, bytes))
        return ReplaceOutcome::Failed;
    // A second name for the file keeps the very file that the rename
    // replaces, so a write into it after the look is not lost unseen.
    std::string previous = p + ".prev";
    ::unlink(previous.c_str());
    bool linked = ::link(p.c_str(), previous.c_str()) == 0;
    if (!force) {
        std::string now;
        ReadResult read = ReadAll(path, now);
        if (read != ReadResult::Ok || now != expected) {
            ::unlink(temp.c_str());
            ::unlink(previous.c_str());
            return read == ReadResult::Failed ? ReplaceOutcome::Failed : ReplaceOutcome::Changed;
        }
    }
    if (::rename(temp.c_str(), p.c_str()) != 0) {
        ::unlink(temp.c_str());
        ::unlink(previous.c_str());
        return ReplaceOutcome::Failed;
    }
    SyncFolderOf(p);
    if (linked) {
        std::string held;
        std::uint32_t error = 0;
        if (ReadFile(previous, std::string().max_size(), held, error) == ReadResult::Ok &&
            held != expected)
            replaced = std::move(held);
        ::unlink(previous.c_str());
    }
    return ReplaceOutcome::Done;
}

bool PosixFileSystem::MoveEntry(std::u16string_view from, std::u16string_view to) {
    std::string a = Usable(from), b = Usable(to);
    if (a.empty() || b.empty() || WritesRefused())
        return false;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0;
}

bool PosixFileSystem::RemoveFolder(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    if (p.empty() || WritesRefused() || ::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // Every entry is looked at before any goes: a folder inside keeps them all.
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(p, error)) {
        if (entry.is_directory(error) && !entry.is_symlink(error))
            return false;
        files.push_back(entry.path().string());
    }
    if (error)
        return false;
    for (const std::string& file : files)
        ::unlink(file.c_str());
    return ::rmdir(p.c_str()) == 0;
}

} // namespace orv::posix
