// Windows backend of the file services: whole-file reads and writes that
// go through a temporary beside the file, so no reader meets a part.
#include "platform/win32/wide.h"
#include "platform/win32/win32_backends.h"

#include <windows.h>

#include <string>
#include <vector>

namespace orv::win32 {

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() {
        if (valid())
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

bool WriteAllBytes(HANDLE file, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

bool IsLockedError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

class Win32FileSystem final : public IFileSystem {
public:
    bool Exists(std::u16string_view path) override {
        return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool IsDirectory(std::u16string_view path) override {
        DWORD attributes = GetFileAttributesW(W(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    bool MakeDirectory(std::u16string_view path) override {
        return CreateDirectoryW(W(path).c_str(), nullptr) != FALSE;
    }
    bool TouchFile(std::u16string_view path) override {
        Handle file(CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid();
    }
    ReadResult ReadAll(std::u16string_view path, std::string& bytes) override {
        std::uint32_t error = 0;
        return ReadAllUpTo(path, bytes.max_size(), bytes, error);
    }
    ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes, std::string& bytes,
                           std::uint32_t& error) override {
        bytes.clear();
        error = 0;
        Handle file(CreateFileW(W(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? ReadResult::NotFound
                       : ReadResult::Failed;
        }
        auto fail = [&](DWORD code) {
            error = code;
            bytes.clear();
            return ReadResult::Failed;
        };
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size))
            return fail(GetLastError());
        if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
            return fail(ERROR_FILE_TOO_LARGE);
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
        char buf[65536];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr))
                return fail(GetLastError());
            if (got == 0)
                return ReadResult::Ok;
            if (bytes.size() + got > maxBytes)
                return fail(ERROR_FILE_TOO_LARGE);
            bytes.append(buf, got);
        }
    }
    bool CreateNew(std::u16string_view path, std::string_view bytes) override {
        std::wstring target = W(path);
        if (Exists(path))
            return false;
        // The bytes go to a temporary first, which then takes the name only
        // if it is still free: no one, and no kill half-way, sees a part.
        std::wstring temp = target + L".tmp";
        switch (WriteTemp(temp, bytes)) {
        case TempResult::Written:
            if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
                return true;
            DeleteFileW(temp.c_str());
            return false; // the name was taken meanwhile
        case TempResult::Failed:
            return false;
        case TempResult::NotCreated:
            break;
        }
        // No temporary beside it (its name may be too long): write in place.
        Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid() && WriteAllBytes(file.get(), bytes);
    }
    bool ReplaceContent(std::u16string_view path, std::string_view bytes) override {
        std::wstring target = W(path);
        std::wstring temp = target + L".tmp";
        switch (WriteTemp(temp, bytes)) {
        case TempResult::Written:
            break;
        case TempResult::NotCreated:
            return WriteInPlace(target, bytes);
        case TempResult::Failed:
            return false;
        }
        // Another program may hold the file open without delete sharing for a
        // moment; wait a little for it before giving up on the atomic replace.
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            if (!IsLockedError(GetLastError()))
                break;
            ::Sleep(20);
        }
        DeleteFileW(temp.c_str());
        return WriteInPlace(target, bytes);
    }

    ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                  std::string_view bytes, bool force,
                                  std::string& replaced) override {
        replaced.clear();
        std::wstring target = W(path);
        std::wstring temp = target + L".tmp";
        switch (WriteTemp(temp, bytes)) {
        case TempResult::Written:
            break;
        case TempResult::NotCreated:
            if (!force && !Holds(path, expected))
                return ReplaceOutcome::Changed;
            return WriteInPlace(target, bytes) ? ReplaceOutcome::Done : ReplaceOutcome::Failed;
        case TempResult::Failed:
            return ReplaceOutcome::Failed;
        }
        // The file is looked at once more right before the switch. A program
        // writing it now holds it open, and an open file is not replaced, so
        // the switch waits for it. A second name for the file keeps what it
        // held at the switch, for a write that slipped in after the look.
        // Removing that name while it still names the file would open the
        // file for deletion, which stops others from writing it for that
        // moment: it is kept for the next try, and removed once it names
        // the file that was replaced. Without it, the look is never skipped.
        std::wstring previous = target + L".prev";
        bool linked = SameFile(previous, target);
        if (!linked) {
            DeleteFileW(previous.c_str());
            linked = CreateHardLinkW(previous.c_str(), target.c_str(), nullptr) != FALSE;
        }
        bool look = !force || !linked;
        bool changed = false;
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (look && !Holds(path, expected)) {
                changed = true;
                break;
            }
            if (MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                std::string held;
                if (linked && ReadAll(U16(previous), held) == ReadResult::Ok && held != expected)
                    replaced = std::move(held);
                DeleteFileW(previous.c_str());
                return ReplaceOutcome::Done;
            }
            if (!IsLockedError(GetLastError()))
                break;
            ::Sleep(20);
        }
        DeleteFileW(temp.c_str());
        if (changed || (look && !Holds(path, expected)))
            return ReplaceOutcome::Changed;
        DeleteFileW(previous.c_str());
        return WriteInPlace(target, bytes) ? ReplaceOutcome::Done : ReplaceOutcome::Failed;
    }

    bool MoveEntry(std::u16string_view from, std::u16string_view to) override {
        return MoveFileExW(W(from).c_str(), W(to).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    }

    bool RemoveFolder(std::u16string_view path) override {
        std::wstring folder = W(path);
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        // Every entry is looked at before any goes: a folder inside keeps them all.
        std::vector<std::wstring> files;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return false;
        bool flat = true;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                flat = false;
            else
                files.push_back(folder + L"\\" + name);
        } while (flat && FindNextFileW(search, &found));
        FindClose(search);
        if (!flat)
            return false;
        for (const std::wstring& file : files) {
            DWORD fileAttributes = GetFileAttributesW(file.c_str());
            if (fileAttributes != INVALID_FILE_ATTRIBUTES &&
                (fileAttributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesW(file.c_str(), fileAttributes & ~FILE_ATTRIBUTE_READONLY);
            DeleteFileW(file.c_str());
        }
        return RemoveDirectoryW(folder.c_str()) != FALSE;
    }

private:
    enum class TempResult { Written, NotCreated, Failed };

    // A temporary left by an earlier write cut short is simply overwritten.
    static TempResult WriteTemp(const std::wstring& temp, std::string_view bytes) {
        bool written;
        {
            Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid())
                return TempResult::NotCreated;
            written = WriteAllBytes(file.get(), bytes);
        }
        if (written)
            return TempResult::Written;
        DeleteFileW(temp.c_str());
        return TempResult::Failed;
    }

    // Whether two names name one file (both present).
    static bool SameFile(const std::wstring& a, const std::wstring& b) {
        BY_HANDLE_FILE_INFORMATION infoA, infoB;
        auto info = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& out) {
            Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return file.valid() && GetFileInformationByHandle(file.get(), &out) != FALSE;
        };
        return info(a, infoA) && info(b, infoB) &&
               infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
               infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
               infoA.nFileIndexLow == infoB.nFileIndexLow;
    }

    bool Holds(std::u16string_view path, std::string_view expected) {
        std::string now;
        return ReadAll(path, now) == ReadResult::Ok && now == expected;
    }

    // The last resort when the file cannot be replaced: the write must not be
    // dropped, so the bytes go into the file as it stands.
    static bool WriteInPlace(const std::wstring& target, std::string_view bytes) {
        Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        if (!WriteAllBytes(file.get(), bytes))
            return false;
        return SetEndOfFile(file.get()) != FALSE && FlushFileBuffers(file.get()) != FALSE;
    }
};

} // namespace

IFileSystem& Win32Files() {
    static Win32FileSystem files;
    return files;
}

} // namespace orv::win32
