#include "core/io/NumberParser.h"

#include <cstring>

double NumberParser::parseNumber(const char* s)
{
    if (!s)
        return 0.0;
    const char* p = s;
    return parseNumber(p, s + std::strlen(s));
}
