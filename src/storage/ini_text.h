// The text engine behind CIniFile: reads and writes the platform's
// initialization-file format exactly as its INI functions do, so that the
// configuration program, which uses those functions, shares the files.
//
// - "[section]" lines and "key=value" lines; names match without regard to
//   case and ignore the blanks around them; the first of two equal sections
//   or keys wins.
// - Files are UTF-16LE (or UTF-16BE) or UTF-8 when they start with a
//   byte-order mark, otherwise 8-bit text in the system's ANSI code page
//   (the platform's code page 0).
// - Lines end in CR LF, LF or a lone CR; a line's meaning ends at a NUL.
// - An edit changes one line or adds lines; every other line, including
//   comments, blank lines and keys of other programs, is kept as it was,
//   in its place and with its own line ending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::ini {

enum class Encoding { Utf16Le, Utf16Be, Utf8, Ansi };

class Document {
public:
    // An empty document, saved as UTF-16LE with a byte-order mark.
    Document() = default;

    // Decodes file bytes. No bytes at all give an empty UTF-16LE document:
    // there is nothing whose encoding could be kept.
    static Document Parse(std::string_view bytes);

    // The file bytes, in the file's own encoding unless a character has no
    // form in it (an 8-bit file, or a lone surrogate in a UTF-8 file): then
    // the file becomes UTF-16LE so that nothing is lost. The lines of an 8-bit
    // file that no edit touched keep their bytes exactly.
    std::string Serialize() const;

    Encoding encoding() const { return m_encoding; }

    // The value of a key as the platform's readers see it before they take
    // it apart: blanks around it removed, nothing else changed. Nothing when
    // the section or key is missing or the line holds no '='. The section ""
    // is the part of the file before its first section line.
    std::optional<std::u16string_view> Find(std::u16string_view section,
                                            std::u16string_view key) const;

    // The section and key names of every line holding a value, in file
    // order (Find tells which of two equal ones counts).
    std::vector<std::pair<std::u16string, std::u16string>> Keys() const;

    // Sets a key, adding the section (at the end of the file) or the key (after
    // the last entry of its section) when missing. A value ends at its first
    // line break or NUL, so it can never add lines of its own. Returns true
    // when the document changed.
    bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);

private:
    enum class Eol : std::uint8_t { None, CrLf, Lf, Cr };
    enum class Kind : std::uint8_t { Blank, Comment, Section, Entry };
    struct Line {
        std::u16string text;
        std::string bytes;     // in an 8-bit file, the line as read...
        bool ownBytes = false; // ...while no edit has changed it
        Eol eol = Eol::CrLf;
        Kind kind = Kind::Blank;
        // Section: the name. Entry: the key, then the value when hasValue.
        std::uint32_t nameBegin = 0, nameEnd = 0, valueBegin = 0, valueEnd = 0;
        bool hasValue = false;

        std::u16string_view Name() const {
            return std::u16string_view(text).substr(nameBegin, nameEnd - nameBegin);
        }
        std::u16string_view Value() const {
            return std::u16string_view(text).substr(valueBegin, valueEnd - valueBegin);
        }
    };
    struct Range {
        std::size_t begin, end; // lines of the section's body
        bool found;
    };

    static void Classify(Line& line);
    static std::string_view EolBytes(Eol eol);
    bool SerializeAnsi(std::string& out) const;
    Range SectionRange(std::u16string_view name) const;
    void AddLine(std::size_t at, std::u16string text);

    Encoding m_encoding = Encoding::Utf16Le;
    std::vector<Line> m_lines;
};

// What the string reader returns for a found value: surrounding quotes, when
// the value starts and ends with the same quote character, are dropped.
std::u16string_view StripQuotes(std::u16string_view value);

// The platform's integer reader on a found value (quotes already dropped):
// leading blanks, one sign, the prefixes 0x, 0o and 0b, then digits up to
// the first character that is none; wraps around in 32 bits. No digits read 0.
std::int32_t ParseInteger(std::u16string_view text);

// A structure value: every byte as two upper-case hex digits, then two more
// for the low byte of the sum of all bytes.
std::u16string EncodeStruct(const void* data, std::size_t size);

// Fills `data` only when the value has exactly 2 * size + 2 hex digits (either
// case) and a matching sum; otherwise leaves it untouched and returns false.
bool DecodeStruct(std::u16string_view value, void* data, std::size_t size);

} // namespace orv::ini
