#include "VisData.h"

#include <algorithm>
#include <sstream>

#include "TextFile.h"

std::vector<std::vector<int>> VisData::sharedPoints(const BundlerFile& bundle)
{
    const size_t n = bundle.cameras.size();
    std::vector<std::vector<int>> shared(n, std::vector<int>(n, 0));
    std::vector<int> seen;
    for (const auto& p : bundle.points) {
        seen.clear();
        for (const auto& v : p.views)
            if (v.camera >= 0 && size_t(v.camera) < n)
                seen.push_back(v.camera);
        std::sort(seen.begin(), seen.end());
        seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
        for (size_t a = 0; a < seen.size(); ++a)
            for (size_t b = a + 1; b < seen.size(); ++b) {
                ++shared[size_t(seen[a])][size_t(seen[b])];
                ++shared[size_t(seen[b])][size_t(seen[a])];
            }
    }
    return shared;
}

VisData VisData::fromBundle(const BundlerFile& bundle, int minShared)
{
    const auto shared = sharedPoints(bundle);
    VisData vis;
    vis.partners.resize(shared.size());
    for (size_t i = 0; i < shared.size(); ++i) {
        auto& list = vis.partners[i];
        for (size_t j = 0; j < shared.size(); ++j)
            if (j != i && shared[i][j] >= minShared)
                list.push_back(int(j));
        std::stable_sort(list.begin(), list.end(),
                         [&](int a, int b) { return shared[i][size_t(a)] > shared[i][size_t(b)]; });
    }
    return vis;
}

bool VisData::read(std::istream& in, std::string* error)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    in.imbue(std::locale::classic());
    std::string tag;
    long long n = 0;
    if (!(in >> tag) || tag != "VISDATA")
        return fail("not a vis.dat file: it does not start with VISDATA");
    if (!(in >> n) || n < 0 || n > 1000000)
        return fail("bad view count");
    partners.assign(size_t(n), {});
    for (long long k = 0; k < n; ++k) {
        long long index = 0, count = 0;
        if (!(in >> index >> count) || index < 0 || index >= n || count < 0 || count > n)
            return fail("bad entry for view " + std::to_string(k));
        auto& list = partners[size_t(index)];
        list.clear();
        for (long long j = 0; j < count; ++j) {
            int partner = 0;
            if (!(in >> partner) || partner < 0 || partner >= n)
                return fail("bad partner of view " + std::to_string(index));
            list.push_back(partner);
        }
    }
    // A partner beyond its view's count would otherwise be left unread.
    std::string extra;
    if (in >> extra)
        return fail("more follows the " + std::to_string(n) + " views' entries: " + extra.substr(0, 20));
    return true;
}

bool VisData::readFile(const std::string& path, std::string* error)
{
    return TextFile::parse(path, error, [this](std::istream& in, std::string* e) { return read(in, e); });
}

std::string VisData::text() const
{
    std::ostringstream out;
    out << "VISDATA\n" << partners.size() << '\n';
    for (size_t i = 0; i < partners.size(); ++i) {
        out << i << ' ' << partners[i].size();
        for (int j : partners[i])
            out << ' ' << j;
        out << '\n';
    }
    return out.str();
}
