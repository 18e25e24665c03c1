#include "ToolArguments.h"

#include <charconv>
#include <cmath>

bool ToolArguments::toInt(const std::string& word, int& value)
{
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return !word.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ToolArguments::toDouble(const std::string& word, double& value)
{
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return !word.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}
