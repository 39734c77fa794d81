#include "platform/linux/linux_files.h"

#include "base/wstr.h"
#include "platform/linux/linux_backends.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orv::linux_ {

namespace {

bool RefusedName(std::u16string_view path) {
    // ':' is no refused name: Wine takes it as part of a name.
    for (char16_t c : path) {
        if (c < 0x20 || c == u'?' || c == u'*' || c == u'|' || c == u'<' || c == u'>' || c == u'"')
            return true;
    }
    return false;
}

// The entry of `folder` (ending in '/') that `name` names: itself when it
// exists, else one matching it without regard to case, else `name` as it is.
std::string MatchingName(const std::string& folder, std::u16string_view name) {
    std::string exact = ToUtf8(name);
    struct stat st;
    if (name == u"." || name == u".." || ::lstat((folder + exact).c_str(), &st) == 0)
        return exact;
    DIR* dir = ::opendir(folder.c_str());
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

std::string Usable(std::u16string_view path) {
    return PosixPath(path);
}

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

class LinuxFileSystem final : public IFileSystem {
public:
    bool Exists(std::u16string_view path) override;
    bool IsDirectory(std::u16string_view path) override;
    bool MakeDirectory(std::u16string_view path) override;
    bool TouchFile(std::u16string_view path) override;
    ReadResult ReadAll(std::u16string_view path, std::string& bytes) override;
    bool CreateNew(std::u16string_view path, std::string_view bytes) override;
    bool ReplaceContent(std::u16string_view path, std::string_view bytes) override;
    ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                  std::string_view bytes, bool force,
                                  std::string& replaced) override;
    bool MoveEntry(std::u16string_view from, std::u16string_view to) override;
    bool RemoveFolder(std::u16string_view path) override;
    ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes, std::string& bytes,
                           std::uint32_t& error) override;
};

} // namespace

std::string PosixPath(std::u16string_view path) {
    if (path.empty() || (path[0] != u'/' && path[0] != u'\\') || RefusedName(path))
        return {};
    std::string out;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos)
            end = path.size();
        std::u16string_view name = path.substr(start, end - start);
        out += '/';
        if (!name.empty())
            out += MatchingName(out, name);
        start = end + 1;
    }
    return out;
}

bool LinuxFileSystem::Exists(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool LinuxFileSystem::IsDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LinuxFileSystem::MakeDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty())
        return false;
    return ::mkdir(p.c_str(), 0755) == 0;
}

bool LinuxFileSystem::TouchFile(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty())
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

ReadResult LinuxFileSystem::ReadAll(std::u16string_view path, std::string& bytes) {
    bytes.clear();
    if (RefusedName(path))
        return ReadResult::Failed;
    std::string p = Usable(path);
    if (p.empty())
        return ReadResult::NotFound;
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::NotFound : ReadResult::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

ReadResult LinuxFileSystem::ReadAllUpTo(std::u16string_view path, std::size_t maxBytes,
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

bool LinuxFileSystem::CreateNew(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty())
        return false;
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0)
        return false;
    // As on Windows, the bytes go to a temporary that takes the name only if
    // it is still free, so a reader never meets the file half written.
    std::string temp = p + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFully(fd, bytes);
    ::close(fd);
    if (!ok || ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, p.c_str(), RENAME_NOREPLACE) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolderOf(p);
    return true;
}

bool LinuxFileSystem::ReplaceContent(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty())
        return false;
    std::string temp = p + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFully(fd, bytes);
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), p.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolderOf(p);
    return true;
}

ReplaceOutcome LinuxFileSystem::ReplaceChecked(std::u16string_view path, std::string_view expected,
                                               std::string_view bytes, bool force,
                                               std::string& replaced) {
    replaced.clear();
    std::string p = Usable(path);
    if (p.empty())
        return ReplaceOutcome::Failed;
    std::string temp = p + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return ReplaceOutcome::Failed;
    bool written = WriteFully(fd, bytes);
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return ReplaceOutcome::Failed;
    }
    // Other programs share these files. A second name for the file keeps
    // the very file that the rename replaces, so a write into it that slips
    // in after the look is still seen, and handed back in `replaced`.
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
        if (ReadAll(FromUtf8(previous), held) == ReadResult::Ok && held != expected)
            replaced = std::move(held);
        ::unlink(previous.c_str());
    }
    return ReplaceOutcome::Done;
}

bool LinuxFileSystem::MoveEntry(std::u16string_view from, std::u16string_view to) {
    std::string a = Usable(from), b = Usable(to);
    if (a.empty() || b.empty())
        return false;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0;
}

bool LinuxFileSystem::RemoveFolder(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    if (p.empty() || ::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
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

IFileSystem& LinuxFiles() {
    static LinuxFileSystem files;
    return files;
}

} // namespace orv::linux_
