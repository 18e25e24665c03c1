#pragma once

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "common/numbers/NumberText.h"

// The blank-separated words of one line of a text file and their numbers,
// each word read whole and exactly (NumberText: the C locale, the nearest
// double). A stream reads what it can of a word and leaves the rest
// to the next field: "3500.5.25" became 3500.5 and 0.25, a height of
// "3000.5" became 3000 and a focal length of 0.5, "nan" ended a list. Here
// such a word is no number, and the reader says which word it was.
namespace TextWords
{

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

// Views into line, which must outlive them.
inline std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The line from the start of word on, without the blanks that end the line:
// the last field of a line that may itself hold blanks (an image name).
inline std::string rest(std::string_view line, std::string_view word)
{
    std::string_view tail = line.substr(size_t(word.data() - line.data()));
    while (!tail.empty() && isBlank(tail.back()))
        tail.remove_suffix(1);
    return std::string(tail);
}

// A whole integer, or a finite floating-point number (common/numbers/
// NumberText, the rule every reader of ours follows), that is all of word.
template <typename T> bool number(std::string_view word, T& value)
{
    T parsed{};
    const char* end = word.data() + word.size();
    if constexpr (std::is_floating_point_v<T>) {
        if (!NumberText::read(word.data(), end, parsed) || !std::isfinite(parsed))
            return false;
    } else {
        const std::from_chars_result r = std::from_chars(word.data(), end, parsed);
        if (word.empty() || r.ec != std::errc() || r.ptr != end)
            return false;
    }
    value = parsed;
    return true;
}

// The word in double quotes for a message, cut after 40 characters.
inline std::string quoted(std::string_view word)
{
    return "\"" + std::string(word.substr(0, 40)) + (word.size() > 40 ? "...\"" : "\"");
}

} // namespace TextWords
