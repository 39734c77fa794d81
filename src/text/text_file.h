// Reading a text file in any of the common encodings into UTF-16: byte-order
// marks, an encoding named by an XML declaration or an HTML meta tag, plain
// UTF-8 found by inspection, stray zero units removed, big-endian UTF-16
// swapped, 8-bit encodings converted through the platform's code pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// The reader's own number for UTF-32, which the platform's code pages lack.
constexpr int kCodePageUtf32 = 65005;
constexpr int kCodePageUtf16 = 1200;
constexpr int kCodePageUtf8 = 65001;

// Larger files are refused as too large; the counts of the decoding stay
// well inside 32 bits.
constexpr std::size_t kMaxTextFileBytes = 512u << 20;

// One conversion into UTF-16.
struct CONVERSION {
    std::u16string_view target; // encoding names
    std::u16string_view source;
    const void* data = nullptr;
    int sourceCount = 0; // in source units (bytes, or 32-bit values for UTF-32)
    int resultCount = 0; // capacity of the output for the converting pass
    int unmapped = 0;    // characters the conversion could not map
};

// Reads the whole file into `text`. The report (may be null) tells what was
// found and done, or holds the system's error text; `flags` (may be null)
// are document flags: the byte-order-mark bits are set as found. True when
// the file was opened and read.
bool ReadWholeFile(std::u16string_view path, std::u16string& text, std::u16string* report,
                   int* flags);

// Whether the bytes (up to a zero byte) hold nothing but UTF-8 sequences.
bool LooksLikeUtf8(const unsigned char* bytes, std::size_t count);

// The encoding named by an XML declaration or an HTML meta tag at the start
// of the text; empty when there is none.
std::u16string FindCharsetDeclaration(const std::u16string& text);

// The code page of an encoding name: 0 for an empty name (the system's ANSI
// code page), -1 when the name is unknown.
int CodePageFromName(std::u16string_view name);

// Converts into UTF-16; without output only counts. Returns the output units.
int ConvertText(CONVERSION& conversion, char16_t* out);

} // namespace orv
