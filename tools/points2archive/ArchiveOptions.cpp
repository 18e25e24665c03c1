#include "ArchiveOptions.h"

#include "common/text/TextTokens.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{

bool toDouble(const std::string& text, double& value)
{
    return TextTokens::number(text, value);
}

bool toCount(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 12)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool validLetters(const std::string& format, const char* allowed)
{
    if (format.empty())
        return false;
    for (char c : format)
        if (!std::strchr(allowed, c))
            return false;
    return true;
}

int count(const std::string& text, char c)
{
    int n = 0;
    for (char t : text)
        n += t == c;
    return n;
}

} // namespace

const char* ArchiveOptions::usage()
{
    return "usage: Points2Archive -i in.ply -o out.bin [-input_format xyzrgbi] [-output_format xyzrgb] "
           "[-color_scale 1.0] [-intensity_scale 1.0] [-skip_header 0]";
}

bool ArchiveOptions::parse(const std::vector<std::string>& arguments, std::string& error)
{
    for (size_t k = 0; k < arguments.size(); ++k) {
        const std::string& name = arguments[k];
        if (k + 1 >= arguments.size()) {
            error = name.size() > 1 && name[0] == '-' ? "option " + name + " needs a value"
                                                      : "unexpected argument " + name;
            return false;
        }
        const std::string& value = arguments[++k];
        if (name == "-i") {
            input = value;
        } else if (name == "-o") {
            output = value;
        } else if (name == "-input_format") {
            inputFormat = value;
        } else if (name == "-output_format") {
            outputFormat = value;
        } else if (name == "-color_scale") {
            if (!toDouble(value, colorScale) || colorScale < 0) {
                error = "-color_scale needs a number of 0 or more, not " + value;
                return false;
            }
        } else if (name == "-intensity_scale") {
            if (!toDouble(value, intensityScale) || intensityScale < 0) {
                error = "-intensity_scale needs a number of 0 or more, not " + value;
                return false;
            }
        } else if (name == "-skip_header") {
            if (!toCount(value, skipHeader)) {
                error = "-skip_header needs a line count, not " + value;
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (input.empty() || output.empty()) {
        error = "both -i and -o are needed";
        return false;
    }
    // Each of x, y and z exactly once; colour and intensity at most once.
    if (!validLetters(inputFormat, "xyzrgbia_") || count(inputFormat, 'x') != 1 ||
        count(inputFormat, 'y') != 1 || count(inputFormat, 'z') != 1 || count(inputFormat, 'r') > 1 ||
        count(inputFormat, 'g') > 1 || count(inputFormat, 'b') > 1 || count(inputFormat, 'i') > 1) {
        error = "-input_format must name x, y and z once and may add r, g, b, i, a or _ (skipped): " +
                inputFormat;
        return false;
    }
    if (outputFormat != "xyzrgb" && outputFormat != "xyzi" && outputFormat != "xyz") {
        error = "-output_format must be xyzrgb, xyzi or xyz, not " + outputFormat;
        return false;
    }
    if (archivePath() == input || intermediatePath() == input) {
        error = "the output " + output + " would replace the input";
        return false;
    }
    return true;
}

std::string ArchiveOptions::archivePath() const
{
    const size_t slash = output.find_last_of('/');
    const size_t dot = output.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? output.substr(0, dot) : output) + ".osga";
}

std::string ArchiveOptions::intermediatePath() const
{
    return output == archivePath() ? output + ".bin" : output;
}
