#pragma once

#include <string>
#include <vector>

// The words of a command or list line as the command interpreter and the
// tools' list files both split them: blanks (space, tab, CR) between words,
// a "quoted part" keeps its blanks and loses its quotes, "" is an empty word.
class CommandWords
{
public:
    // False when a quote is left open (the words up to the end are kept).
    static bool split(const std::string& line, std::vector<std::string>& words);
};
