#include "MatchTableFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "common/files/TextFileReader.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

std::pair<int, int> key(const MatchTableFile::Pair& p)
{
    return std::minmax(p.first, p.second);
}

} // namespace

bool MatchTableFile::read(std::istream& in, std::string* error)
{
    pairs.clear();
    in.imbue(std::locale::classic());
    // A record needs at least "0 1\n1\n0 0\n"; counts beyond what is left are refused.
    const long long bytes = TextFileReader::bytesLeft(in);
    long long first = 0;
    while (in >> first) {
        Pair p;
        long long second = 0, count = 0;
        if (!(in >> second >> count) || first < 0 || second < 0 || count < 0 || first > 1 << 30 ||
            second > 1 << 30)
            return fail(error,
                        "record " + std::to_string(pairs.size() + 1) + " has no valid \"i j\" and count");
        if (bytes >= 0 && count > bytes / 4 + 1)
            return fail(error, "record " + std::to_string(pairs.size() + 1) +
                                   " declares more matches than the file holds");
        p.first = int(first);
        p.second = int(second);
        // Grown as the matches arrive: on a pipe the size above is unknown.
        p.matches.reserve(size_t(std::min<long long>(count, 1 << 16)));
        for (long long k = 0; k < count; ++k) {
            std::pair<int, int> m;
            if (!(in >> m.first >> m.second) || m.first < 0 || m.second < 0)
                return fail(error, "record " + std::to_string(pairs.size() + 1) + " is truncated");
            p.matches.push_back(m);
        }
        pairs.push_back(std::move(p));
    }
    if (!in.eof())
        return fail(error, "record " + std::to_string(pairs.size() + 1) + " does not start with a number");
    return true;
}

bool MatchTableFile::readFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open match table " + path);
    std::string message;
    if (read(in, &message))
        return true;
    return fail(error, path + ": " + message);
}

void MatchTableFile::write(std::ostream& out) const
{
    std::string text;
    for (const Pair& p : pairs) {
        text += std::to_string(p.first) + ' ' + std::to_string(p.second) + '\n';
        text += std::to_string(p.matches.size()) + '\n';
        for (const auto& m : p.matches)
            text += std::to_string(m.first) + ' ' + std::to_string(m.second) + '\n';
    }
    out.write(text.data(), std::streamsize(text.size()));
}

bool MatchTableFile::writeFile(const std::string& path, std::string* error) const
{
    std::ostringstream out;
    write(out);
    return AtomicFile::write(path, out.str(), error);
}

void MatchTableFile::merge(const MatchTableFile& newer)
{
    pairs.insert(pairs.end(), newer.pairs.begin(), newer.pairs.end());
    removeDuplicates();
}

void MatchTableFile::removeDuplicates()
{
    std::map<std::pair<int, int>, size_t> last;
    for (size_t i = 0; i < pairs.size(); ++i)
        last[key(pairs[i])] = i;
    std::vector<Pair> kept;
    kept.reserve(last.size());
    for (size_t i = 0; i < pairs.size(); ++i)
        if (last[key(pairs[i])] == i)
            kept.push_back(std::move(pairs[i]));
    pairs = std::move(kept);
}
