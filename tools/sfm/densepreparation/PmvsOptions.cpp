#include "PmvsOptions.h"

#include <cmath>
#include <sstream>

#include "TextFile.h"

namespace
{

bool readList(std::istringstream& words, std::vector<int>& out)
{
    out.clear();
    long long count = 0;
    if (!(words >> count))
        return false;
    if (count == -1) {
        long long first = 0, end = 0;
        if (!(words >> first >> end) || first < 0 || end < first || end - first > 1000000)
            return false;
        for (long long i = first; i < end; ++i)
            out.push_back(int(i));
        return true;
    }
    if (count < 0 || count > 1000000)
        return false;
    for (long long i = 0; i < count; ++i) {
        int v = 0;
        if (!(words >> v) || v < 0)
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
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        std::string name;
        if (!(words >> name) || name[0] == '#')
            continue;
        bool ok = true;
        if (name == "level")
            ok = bool(words >> level);
        else if (name == "csize")
            ok = bool(words >> csize);
        else if (name == "threshold")
            ok = bool(words >> threshold);
        else if (name == "wsize")
            ok = bool(words >> wsize);
        else if (name == "minImageNum")
            ok = bool(words >> minImageNum);
        else if (name == "CPU")
            ok = bool(words >> cpus);
        else if (name == "useVisData")
            ok = bool(words >> useVisData);
        else if (name == "sequence")
            ok = bool(words >> sequence);
        else if (name == "maxAngle")
            ok = bool(words >> maxAngle);
        else if (name == "quad")
            ok = bool(words >> quad);
        else if (name == "timages")
            ok = readList(words, timages);
        else if (name == "oimages")
            ok = readList(words, oimages);
        else
            continue; // another program's option
        // What a number leaves of its word ("1.5" read as 1) or a list its
        // count does not cover is refused, not dropped.
        std::string extra;
        if (ok && (words >> extra))
            ok = false;
        if (!ok) {
            if (error)
                *error = "line " + std::to_string(number) + ": bad value for " + name;
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
