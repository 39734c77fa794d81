// Where libraries are loaded from. By default a library named without a
// folder is looked for beside the executable and in the current folder before
// the system folder, so a file of that name dropped there would run inside the
// program. Every program of the suite calls RestrictDllSearch first thing, and
// names system libraries through LoadSystemLibrary.
#pragma once

#include <windows.h>

#include <string>

namespace orv::win32 {

// Later loads by name (the program's own, and those the system makes for it:
// COM servers, shell extensions, delay-loaded imports) look in the system
// folder only. On a system without SetDefaultDllDirectories, the current
// folder at least is taken out of the search.
inline void RestrictDllSearch() {
    SetDllDirectoryW(L"");
    using SetDefaultFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultFn>(reinterpret_cast<void*>(
        kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (setDefault != nullptr)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A library of the system, from the system folder and nowhere else. Systems
// that do not know the search flags refuse them as invalid; those are given
// the library's full path in the system folder instead.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

inline bool IsFullPath(const std::wstring& path) {
    bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    return drive || path.rfind(L"\\\\", 0) == 0;
}

// A library given by its full path: that file, its own imports from its
// folder and the system folder only. Anything but a full path is refused, as
// it would be searched for.
inline HMODULE LoadLibraryAt(const std::wstring& fullPath) {
    if (!IsFullPath(fullPath)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HMODULE module = LoadLibraryExW(
        fullPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    return LoadLibraryExW(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace orv::win32
