#include "ctl_args.h"

#include "base/wstr.h"

#include <filesystem>
#include <system_error>

namespace orv::ctl {

namespace {

bool Listed(std::initializer_list<const char*> names, const std::string& name) {
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

std::string Allowed(std::initializer_list<const char*> valued,
                    std::initializer_list<const char*> flags) {
    std::string list;
    for (auto names : {valued, flags})
        for (const char* n : names)
            list += (list.empty() ? "" : " ") + std::string(n);
    return list.empty() ? "none" : list;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Rooted(std::u16string_view path) {
    if (!path.empty() && (path[0] == u'/' || path[0] == u'\\'))
        return true;
    return path.size() >= 2 && path[1] == u':' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

} // namespace

VerbArgs SplitArgs(const std::vector<std::string>& args, std::size_t first,
                   std::initializer_list<const char*> valued,
                   std::initializer_list<const char*> flags) {
    VerbArgs out;
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            out.words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (out.Has(word))
            throw BadInput{"option " + word + " is given twice"};
        if (Listed(flags, word)) {
            out.flags.insert(word);
        } else if (Listed(valued, word)) {
            if (i + 1 == args.size())
                throw BadInput{"option " + word + " needs a value"};
            out.options[word] = args[++i];
        } else {
            throw BadInput{"unknown option " + word + " (allowed: " + Allowed(valued, flags) + ")"};
        }
    }
    return out;
}

void ExpectWords(const VerbArgs& args, std::size_t count, const char* form) {
    if (args.words.size() != count)
        throw BadInput{"expected " + std::string(form)};
}

int NumberArg(const std::string& text, const char* what, int lo, int hi) {
    const std::string range = " (allowed " + std::to_string(lo) + ".." + std::to_string(hi) + ")";
    long long value = 0;
    bool digits = !text.empty() && text.size() <= 10;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!digits)
        throw BadInput{std::string(what) + " '" + text + "' is not a number" + range};
    if (value < lo || value > hi)
        throw BadInput{std::string(what) + " " + text + " is out of range" + range};
    return static_cast<int>(value);
}

int SlotArg(const std::string& text) {
    return NumberArg(text, "slot", 0, 5);
}

std::uint32_t ColorArg(const std::string& text) {
    std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    std::uint32_t rgb = 0;
    bool ok = hex.size() == 6;
    for (char c : hex) {
        const int d = HexDigit(c);
        ok = ok && d >= 0;
        rgb = rgb << 4 | static_cast<std::uint32_t>(d < 0 ? 0 : d);
    }
    if (!ok)
        throw BadInput{"colour '" + text + "' is not RRGGBB (six hex digits, such as FF8000)"};
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

std::string ColorText(std::uint32_t color) {
    static const char kDigits[] = "0123456789ABCDEF";
    const std::uint32_t rgb = (color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
    std::string text(6, '0');
    for (int i = 5; i >= 0; --i)
        text[static_cast<std::size_t>(i)] = kDigits[rgb >> (4 * (5 - i)) & 0xF];
    return text;
}

std::u16string TextArg(const std::string& text, const char* what) {
    std::u16string wide = FromUtf8(text);
    if (ToUtf8(wide) != text)
        throw BadInput{std::string(what) + " is not valid UTF-8 text"};
    return wide;
}

std::u16string FileArg(const std::string& text) {
    std::u16string path = TextArg(text, "file name");
    if (path.empty())
        throw BadInput{"the file name is empty"};
    if (Rooted(path))
        return path;
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(path), error);
    if (error)
        throw BadInput{"file name '" + text + "' cannot be made absolute: " + error.message()};
    return full.u16string();
}

} // namespace orv::ctl
