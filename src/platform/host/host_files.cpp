#include "platform/host/host_files.h"

#include "base/wstr.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orv::host {

std::string HostFileSystem::HostPath(std::u16string_view path) const {
    if (path.size() < 2 || path[1] != u':')
        return {};
    char16_t drive = FoldCase(path[0]);
    if (drive < u'A' || drive > u'Z')
        return {};
    // Windows tells names apart regardless of case: a name that names
    // nothing as written takes the entry it matches that way, so the core
    // finds a file whatever case another program gave it.
    std::string out = m_root + "/" + static_cast<char>(drive);
    std::u16string_view rest = path.substr(2);
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
    return out;
}

std::string HostFileSystem::MatchingName(const std::string& folder, std::u16string_view name) {
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

bool HostFileSystem::RefusedName(std::u16string_view path) {
    // ':' past the drive is no refused name: Wine takes it as part of the
    // name (NTFS as the start of a stream's name).
    for (char16_t c : path) {
        if (c < 0x20 || c == u'?' || c == u'*' || c == u'|' || c == u'<' || c == u'>' || c == u'"')
            return true;
    }
    return false;
}

std::string HostFileSystem::Usable(std::u16string_view path) const {
    return RefusedName(path) ? std::string() : HostPath(path);
}

bool HostFileSystem::Exists(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool HostFileSystem::IsDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HostFileSystem::MakeDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
        return false;
    return ::mkdir(p.c_str(), 0755) == 0;
}

bool HostFileSystem::TouchFile(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || (failWrites && !Exists(path)))
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

ReadResult HostFileSystem::ReadAll(std::u16string_view path, std::string& bytes) {
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

ReadResult HostFileSystem::ReadAllUpTo(std::u16string_view path, std::size_t maxBytes,
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
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
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

} // namespace

bool HostFileSystem::CreateNew(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
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

bool HostFileSystem::ReplaceContent(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
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

ReplaceOutcome HostFileSystem::ReplaceChecked(std::u16string_view path, std::string_view expected,
                                              std::string_view bytes, bool force,
                                              std::string& replaced) {
    replaced.clear();
    if (!force) {
        std::string now;
        ReadResult read = ReadAll(path, now);
        if (read == ReadResult::Failed)
            return ReplaceOutcome::Failed;
        if (read == ReadResult::NotFound || now != expected)
            return ReplaceOutcome::Changed;
    }
    return ReplaceContent(path, bytes) ? ReplaceOutcome::Done : ReplaceOutcome::Failed;
}

bool HostFileSystem::MoveEntry(std::u16string_view from, std::u16string_view to) {
    std::string a = Usable(from), b = Usable(to);
    if (a.empty() || b.empty() || failWrites)
        return false;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0;
}

bool HostFileSystem::RemoveFolder(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    if (p.empty() || failWrites || ::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
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

} // namespace orv::host
