// UTF-16 text helpers shared by every part of the service.
//
// All text in the core is UTF-16 (char16_t), as on the platform the service
// talks to. These helpers cover what the C run-time offers there for wide
// strings (bounded copies, printf-style formatting, path splitting, case-blind
// comparison) without depending on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// Number of units before the first zero, looking at no more than `cap` units.
std::size_t BoundedLength(const char16_t* s, std::size_t cap);

// The zero-terminated text held in a fixed field of `cap` units. A field
// without a terminator yields all `cap` units; nothing past the field is read.
std::u16string_view FieldText(const char16_t* field, std::size_t cap);

template <std::size_t N> std::u16string_view FieldText(const char16_t (&field)[N]) {
    return FieldText(field, N);
}

// Copies `src` into a field of `cap` units, cutting it to cap - 1 units and
// always terminating it. The rest of the field is left as it was.
void CopyToField(char16_t* field, std::size_t cap, std::u16string_view src);

template <std::size_t N> void CopyToField(char16_t (&field)[N], std::u16string_view src) {
    CopyToField(field, N, src);
}

// printf-style formatting into a wide string. Supported conversions:
// %d %i %u %x %X %c %s (wide string, const char16_t*) and %%, with the flags
// '-' and '0' and a field width. Integers are passed as int or unsigned int.
std::u16string FormatW(const char16_t* fmt, ...);

// Conversions between UTF-16 and UTF-8. Unpaired surrogates and invalid
// UTF-8 become U+FFFD.
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);

// ASCII-only text widened to UTF-16 (for names built from narrow literals).
std::u16string Widen(std::string_view ascii);

// Case folding as the platform does it for names: ASCII, Latin-1, Greek and
// Cyrillic letters fold to upper case; everything else compares as is.
char16_t FoldCase(char16_t c);
// The whole name folded, as a key under which names that differ only in case meet.
std::u16string FoldedCopy(std::u16string_view name);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// The parts of a path as the C run-time's wide path splitter gives them:
// "C:", "\dir\sub\", "name", ".ext". Both '\' and '/' separate folders.
struct PathParts {
    std::u16string drive;
    std::u16string dir;
    std::u16string name;
    std::u16string ext;
};
PathParts SplitPath(std::u16string_view path);

// Drive and folder of a path, ending in the separator that ended the folder.
std::u16string FolderOf(std::u16string_view path);

// File name and extension of a path, without any folder.
std::u16string FileNameOf(std::u16string_view path);

} // namespace orv
