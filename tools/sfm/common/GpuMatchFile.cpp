#include "GpuMatchFile.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "ToolPaths.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// The n indices of one line; false when the line holds fewer, more, or a
// token that is not a non-negative integer.
bool readIndices(const std::string& line, size_t n, std::vector<int>& out)
{
    out.clear();
    const char* p = line.data();
    const char* end = p + line.size();
    while (true) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
            ++p;
        if (p == end)
            break;
        int v = 0;
        const auto result = std::from_chars(p, end, v);
        if (result.ec != std::errc() || v < 0 || out.size() == n)
            return false;
        out.push_back(v);
        p = result.ptr;
    }
    return out.size() == n;
}

bool wholeNumber(const std::string& word, long long& value)
{
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= 0;
}

std::pair<std::string, std::string> key(const GpuMatchFile::Record& r)
{
    return std::minmax(ToolPaths::native(r.imageA), ToolPaths::native(r.imageB));
}

} // namespace

bool GpuMatchFile::read(std::istream& in, std::string* error)
{
    records.clear();
    std::string line;
    int number = 0;
    auto where = [&number] { return " (line " + std::to_string(number) + ")"; };
    while (std::getline(in, line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Record r;
        std::vector<std::string> words;
        long long n = -1;
        if (!ToolPaths::splitWords(line, words) || words.size() != 3 || !wholeNumber(words[2], n))
            return fail(error, "expected \"pathA pathB count\"" + where());
        r.imageA = words[0];
        r.imageB = words[1];
        std::string a, b;
        const bool haveA = static_cast<bool>(std::getline(in, a));
        number += haveA;
        // Each index takes at least two characters: a count beyond the line is refused.
        if (!haveA || static_cast<unsigned long long>(n) > a.size() / 2 + 1 ||
            !readIndices(a, size_t(n), r.featuresA))
            return fail(error, "expected " + std::to_string(n) + " feature indices of " + r.imageA + where());
        const bool haveB = static_cast<bool>(std::getline(in, b));
        number += haveB;
        if (!haveB || !readIndices(b, size_t(n), r.featuresB))
            return fail(error, "expected " + std::to_string(n) + " feature indices of " + r.imageB + where());
        records.push_back(std::move(r));
    }
    return true;
}

bool GpuMatchFile::readFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open match file " + path);
    std::string message;
    if (read(in, &message))
        return true;
    return fail(error, path + ": " + message);
}

void GpuMatchFile::write(std::ostream& out) const
{
    std::string text;
    for (const Record& r : records) {
        text += ToolPaths::quoted(r.imageA) + ' ' + ToolPaths::quoted(r.imageB) + ' ' +
                std::to_string(r.featuresA.size()) + '\n';
        for (size_t i = 0; i < r.featuresA.size(); ++i)
            text += (i ? " " : "") + std::to_string(r.featuresA[i]);
        text += '\n';
        for (size_t i = 0; i < r.featuresB.size(); ++i)
            text += (i ? " " : "") + std::to_string(r.featuresB[i]);
        text += '\n';
    }
    out.write(text.data(), std::streamsize(text.size()));
}

bool GpuMatchFile::writeFile(const std::string& path, std::string* error) const
{
    std::ostringstream out;
    write(out);
    return AtomicFile::write(path, out.str(), error);
}

void GpuMatchFile::merge(const GpuMatchFile& newer)
{
    records.insert(records.end(), newer.records.begin(), newer.records.end());
    removeDuplicates();
}

void GpuMatchFile::removeDuplicates()
{
    std::map<std::pair<std::string, std::string>, size_t> last;
    for (size_t i = 0; i < records.size(); ++i)
        last[key(records[i])] = i;
    std::vector<Record> kept;
    kept.reserve(last.size());
    for (size_t i = 0; i < records.size(); ++i)
        if (last[key(records[i])] == i)
            kept.push_back(std::move(records[i]));
    records = std::move(kept);
}

std::string GpuMatchFile::imageName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
