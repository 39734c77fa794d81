// A small JSON reader for the tests of what orvctl prints for scripts: the
// whole grammar (objects, arrays, strings with escapes, numbers, true, false,
// null), strict enough that malformed output fails the test.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv::test {

struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
};

class JsonReader {
public:
    // False when `text` is not exactly one JSON value (blanks around it allowed).
    static bool Parse(const std::string& text, Json& out) {
        JsonReader reader(text);
        return reader.Value(out) && reader.SkipBlanks() == reader.m_text.size();
    }

private:
    explicit JsonReader(const std::string& text) : m_text(text) {}

    std::size_t SkipBlanks() {
        while (m_pos < m_text.size() &&
               std::string(" \t\r\n").find(m_text[m_pos]) != std::string::npos)
            ++m_pos;
        return m_pos;
    }
    bool Take(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        std::string w = word;
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return false;
        m_pos += w.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            char e = m_text[m_pos++];
            static const std::string kPlain = "\"\\/bfnrt", kMeaning = "\"\\/\b\f\n\r\t";
            if (std::size_t i = kPlain.find(e); i != std::string::npos) {
                out += kMeaning[i];
            } else if (e == 'u' && m_pos + 4 <= m_text.size()) {
                unsigned code = static_cast<unsigned>(
                    std::strtoul(m_text.substr(m_pos, 4).c_str(), nullptr, 16));
                m_pos += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
            } else {
                return false;
            }
        }
        return false;
    }
    bool Value(Json& out) {
        SkipBlanks();
        if (m_pos >= m_text.size())
            return false;
        char c = m_text[m_pos];
        if (c == '{') {
            out.type = Json::kObject;
            ++m_pos;
            if (Take('}'))
                return true;
            do {
                std::string key;
                Json value;
                if (!String(key) || !Take(':') || !Value(value))
                    return false;
                out.members[key] = value;
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            out.type = Json::kArray;
            ++m_pos;
            if (Take(']'))
                return true;
            do {
                out.items.emplace_back();
                if (!Value(out.items.back()))
                    return false;
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') {
            out.type = Json::kString;
            return String(out.text);
        }
        if (Word("true") || Word("false")) {
            out.type = Json::kBool;
            out.boolean = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return true;
        }
        if (Word("null"))
            return true;
        char* end = nullptr;
        out.number = std::strtod(m_text.c_str() + m_pos, &end);
        if (end == m_text.c_str() + m_pos)
            return false;
        out.type = Json::kNumber;
        m_pos = static_cast<std::size_t>(end - m_text.c_str());
        return true;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

} // namespace orv::test
