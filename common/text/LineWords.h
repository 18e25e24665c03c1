#pragma once

#include "common/text/TextTokens.h"

#include <string>
#include <string_view>
#include <vector>

// The words of one line taken in turn, for readers of records such as
// "camera name f qw qx qy qz": each number is a whole word (TextTokens), so
// a reader notices "3500.5.25" or "12m" where a stream would read a part of
// it and leave the rest to the next field. The line must outlive the words.
class LineWords
{
public:
    explicit LineWords(std::string_view line) : m_line(line), m_words(TextTokens::split(line)) {}

    bool word(std::string_view& out)
    {
        if (m_next == m_words.size())
            return false;
        out = m_words[m_next++];
        return true;
    }
    bool word(std::string& out)
    {
        std::string_view w;
        if (!word(w))
            return false;
        out.assign(w);
        return true;
    }

    // The next words as numbers of the values' types, each a whole word;
    // false at the first word that is none or at the end of the line.
    template <typename... T> bool numbers(T&... values) { return (number(values) && ...); }

    // The rest of the line from the next word on, without the blanks that
    // end it (a last field that may hold blanks); empty at the end.
    std::string rest() const
    {
        return m_next == m_words.size() ? std::string() : TextTokens::rest(m_line, m_words[m_next]);
    }

    bool atEnd() const { return m_next == m_words.size(); }
    // The word before the next, for a message: "camera: \"12m\" is no number".
    std::string lastQuoted() const
    {
        return m_next == 0 ? std::string("\"\"") : TextTokens::quoted(m_words[m_next - 1]);
    }

private:
    template <typename T> bool number(T& value)
    {
        std::string_view w;
        return word(w) && TextTokens::number(w, value);
    }

    std::string_view m_line;
    std::vector<std::string_view> m_words;
    size_t m_next = 0;
};
