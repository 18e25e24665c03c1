#include "PmvsOptions.h"

#include <cmath>
#include <sstream>
#include <string_view>

#include "TextFile.h"
#include "common/text/LineWords.h"

namespace
{

bool readList(LineWords& words, std::vector<int>& out)
{
    out.clear();
    long long count = 0;
    if (!words.numbers(count))
        return false;
    if (count == -1) {
        long long first = 0, end = 0;
        if (!words.numbers(first, end) || first < 0 || end < first || end - first > 1000000)
            return false;
        for (long long i = first; i < end; ++i)
            out.push_back(int(i));
        return true;
    }
    if (count < 0 || count > 1000000)
        return false;
    for (long long i = 0; i < count; ++i) {
        int v = 0;
        if (!words.numbers(v) || v < 0)
            return false;
        out.push_back(v);
    }
    return true;
}

} // namespace

bool PmvsOptions::read(std::istream& in, std::string* error)
{
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        LineWords words(line);
        std::string_view name;
        if (!words.word(name) || name[0] == '#')
            continue;
        bool ok = true;
        if (name == "level")
            ok = words.numbers(level);
        else if (name == "csize")
            ok = words.numbers(csize);
        else if (name == "threshold")
            ok = words.numbers(threshold);
        else if (name == "wsize")
            ok = words.numbers(wsize);
        else if (name == "minImageNum")
            ok = words.numbers(minImageNum);
        else if (name == "CPU")
            ok = words.numbers(cpus);
        else if (name == "useVisData")
            ok = words.numbers(useVisData);
        else if (name == "sequence")
            ok = words.numbers(sequence);
        else if (name == "maxAngle")
            ok = words.numbers(maxAngle);
        else if (name == "quad")
            ok = words.numbers(quad);
        else if (name == "timages")
            ok = readList(words, timages);
        else if (name == "oimages")
            ok = readList(words, oimages);
        else
            continue; // another program's option
        // A number with more to its word ("1.5" for a whole number) or a
        // list its count does not cover is refused, not cut short.
        if (!ok || !words.atEnd()) {
            if (error)
                *error = "line " + std::to_string(number) + ": bad value for " + std::string(name);
            return false;
        }
    }
    return true;
}

bool PmvsOptions::readFile(const std::string& path, std::string* error)
{
    return TextFile::parse(path, error, [this](std::istream& in, std::string* e) { return read(in, e); });
}

std::string PmvsOptions::text() const
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "level " << level << "\ncsize " << csize << "\nthreshold " << threshold << "\nwsize " << wsize
        << "\nminImageNum " << minImageNum << "\nCPU " << cpus << "\nsetEdge 0\nuseBound 0\nuseVisData "
        << useVisData << "\nsequence " << sequence << "\nmaxAngle " << maxAngle << "\nquad " << quad;
    out << "\ntimages " << timages.size();
    for (int i : timages)
        out << ' ' << i;
    out << "\noimages " << oimages.size();
    for (int i : oimages)
        out << ' ' << i;
    out << '\n';
    return out.str();
}

bool PmvsOptions::check(std::string* error) const
{
    std::string why;
    if (level < 0 || level > 6)
        why = "level must lie between 0 and 6";
    else if (csize < 1 || csize > 64)
        why = "csize must lie between 1 and 64";
    else if (!(std::isfinite(threshold) && threshold > -1 && threshold <= 1))
        why = "threshold must lie above -1 and at most 1";
    else if (wsize < 3 || wsize > 31)
        why = "wsize must lie between 3 and 31";
    else if (minImageNum < 2 || minImageNum > 64)
        why = "minImageNum must lie between 2 and 64";
    else if (cpus < 1 || cpus > 1024)
        why = "CPU must lie between 1 and 1024";
    else if (timages.empty())
        why = "no target images (timages)";
    if (why.empty())
        return true;
    if (error)
        *error = why;
    return false;
}
