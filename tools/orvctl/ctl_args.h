// Taking apart the words of an orvctl verb: options, slots, numbers, colours
// and paths, each checked before anything acts on it. A wrong word throws
// BadInput, whose one line says what was wrong and what is allowed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orv::ctl {

struct BadInput {
    std::string line;
};

// The words of one verb: positional words in order, options with a value,
// flags. "--" ends the options.
struct VerbArgs {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
    std::set<std::string> flags;

    bool Has(const std::string& name) const {
        return options.count(name) != 0 || flags.count(name) != 0;
    }
};

// Throws for an option that is neither in `valued` nor in `flags`, for a
// valued option without its value, and for an option given twice.
VerbArgs SplitArgs(const std::vector<std::string>& args, std::size_t first,
                   std::initializer_list<const char*> valued,
                   std::initializer_list<const char*> flags);

// Exactly `count` positional words, or throws naming the verb's form.
void ExpectWords(const VerbArgs& args, std::size_t count, const char* form);

// A decimal number in lo..hi; `what` names it in the error line.
int NumberArg(const std::string& text, const char* what, int lo, int hi);
int SlotArg(const std::string& text);

// RRGGBB (an optional leading '#') as the files keep it: red in the low byte.
std::uint32_t ColorArg(const std::string& text);
// The files' colour as RRGGBB.
std::string ColorText(std::uint32_t color);

// The UTF-16 form of a word, which must be valid UTF-8.
std::u16string TextArg(const std::string& text, const char* what);

// A file named on the command line, made absolute against the current folder
// when it is not rooted (the file services take absolute paths only).
std::u16string FileArg(const std::string& text);

} // namespace orv::ctl
