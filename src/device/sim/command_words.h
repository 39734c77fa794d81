// The words of a control command of the tests' keyboards ("report 1 07 80",
// "slot 3"), as the simulated keyboard and the modelled stack both read them.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace orv::sim {

inline std::vector<std::string> CommandWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// A decimal or 0x-prefixed number from 0 to `max`.
inline bool CommandNumber(const std::string& word, long max, long& value) {
    if (word.empty() || word[0] == '-' || word[0] == '+')
        return false;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, 0);
    return end != nullptr && *end == 0 && value >= 0 && value <= max;
}

} // namespace orv::sim
