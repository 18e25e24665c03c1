#pragma once

#include <string>

// Numbers on the dense tools' command lines: the whole word must be the
// number, written with a "." whatever the locale.
class ToolArguments
{
public:
    static bool toInt(const std::string& word, int& value);
    static bool toDouble(const std::string& word, double& value);
};
