#include "ImageClusters.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>

#include "TextFile.h"

ImageClusters ImageClusters::split(const std::vector<std::vector<int>>& shared, int maxSize)
{
    ImageClusters result;
    const int n = int(shared.size());
    result.viewCount = n;
    if (n == 0)
        return result;
    maxSize = std::max(maxSize, 2);
    if (n <= maxSize) {
        Cluster all;
        all.targets.resize(size_t(n));
        std::iota(all.targets.begin(), all.targets.end(), 0);
        result.clusters.push_back(all);
        return result;
    }
    // Leave a third of each cluster for views across the cut.
    const int targetsPerCluster = std::max(1, (2 * maxSize) / 3);
    const int count = (n + targetsPerCluster - 1) / targetsPerCluster;
    const int size = (n + count - 1) / count;
    std::vector<bool> taken(size_t(n), false);
    const auto link = [&](int v, const std::vector<int>& group) {
        long long sum = 0;
        for (int g : group)
            sum += shared[size_t(v)][size_t(g)];
        return sum;
    };
    for (int left = n; left > 0;) {
        Cluster c;
        // Seed: the free view with the most links to other free views.
        int seed = -1;
        long long best = -1;
        for (int v = 0; v < n; ++v) {
            if (taken[size_t(v)])
                continue;
            long long s = 0;
            for (int u = 0; u < n; ++u)
                if (!taken[size_t(u)])
                    s += shared[size_t(v)][size_t(u)];
            if (s > best) {
                best = s;
                seed = v;
            }
        }
        c.targets.push_back(seed);
        taken[size_t(seed)] = true;
        --left;
        while (int(c.targets.size()) < size && left > 0) {
            int next = -1;
            long long strongest = -1;
            for (int v = 0; v < n; ++v)
                if (!taken[size_t(v)] && link(v, c.targets) > strongest) {
                    strongest = link(v, c.targets);
                    next = v;
                }
            c.targets.push_back(next);
            taken[size_t(next)] = true;
            --left;
        }
        std::sort(c.targets.begin(), c.targets.end());
        result.clusters.push_back(c);
    }
    for (Cluster& c : result.clusters) {
        std::vector<std::pair<long long, int>> outside;
        for (int v = 0; v < n; ++v)
            if (!std::binary_search(c.targets.begin(), c.targets.end(), v)) {
                const long long s = link(v, c.targets);
                if (s > 0)
                    outside.push_back({-s, v});
            }
        std::sort(outside.begin(), outside.end());
        const size_t room = size_t(maxSize) - c.targets.size();
        for (size_t k = 0; k < outside.size() && k < room; ++k)
            c.others.push_back(outside[k].second);
        std::sort(c.others.begin(), c.others.end());
    }
    return result;
}

namespace
{

bool helpsLater(const std::vector<ImageClusters::Cluster>& clusters, size_t k, int view)
{
    for (size_t j = k + 1; j < clusters.size(); ++j)
        if (std::find(clusters[j].others.begin(), clusters[j].others.end(), view) != clusters[j].others.end())
            return true;
    return false;
}

} // namespace

std::vector<int> ImageClusters::handedOn(size_t k) const
{
    std::vector<int> views;
    if (k < clusters.size())
        for (int v : clusters[k].targets)
            if (helpsLater(clusters, k, v))
                views.push_back(v);
    return views;
}

std::vector<int> ImageClusters::lastHelp(size_t k) const
{
    std::vector<int> views;
    if (k < clusters.size())
        for (int v : clusters[k].others)
            if (!helpsLater(clusters, k, v))
                views.push_back(v);
    return views;
}

int ImageClusters::indexOf(std::vector<int> targets) const
{
    std::sort(targets.begin(), targets.end());
    for (size_t k = 0; k < clusters.size(); ++k) {
        std::vector<int> t = clusters[k].targets;
        std::sort(t.begin(), t.end());
        if (t == targets)
            return int(k);
    }
    return -1;
}

bool ImageClusters::read(std::istream& in, std::string* error)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    in.imbue(std::locale::classic());
    std::string tag;
    long long views = 0, count = 0;
    if (!(in >> tag) || tag != "SKE")
        return fail("not a ske.dat file: it does not start with SKE");
    if (!(in >> views >> count) || views < 0 || views > 1000000 || count < 0 || count > views + 1)
        return fail("bad view or cluster count");
    viewCount = int(views);
    clusters.assign(size_t(count), {});
    for (auto& c : clusters) {
        long long nt = 0, no = 0;
        if (!(in >> nt >> no) || nt < 0 || no < 0 || nt > views || no > views)
            return fail("bad cluster size");
        for (auto* list : {&c.targets, &c.others}) {
            const long long m = list == &c.targets ? nt : no;
            for (long long k = 0; k < m; ++k) {
                int v = 0;
                if (!(in >> v) || v < 0 || v >= views)
                    return fail("bad view number in a cluster");
                list->push_back(v);
            }
        }
    }
    return true;
}

bool ImageClusters::readFile(const std::string& path, std::string* error)
{
    return TextFile::parse(path, error, [this](std::istream& in, std::string* e) { return read(in, e); });
}

std::string ImageClusters::text() const
{
    std::ostringstream out;
    out << "SKE\n" << viewCount << ' ' << clusters.size() << '\n';
    for (const auto& c : clusters) {
        out << c.targets.size() << ' ' << c.others.size() << '\n';
        for (size_t k = 0; k < c.targets.size(); ++k)
            out << (k ? " " : "") << c.targets[k];
        out << '\n';
        for (size_t k = 0; k < c.others.size(); ++k)
            out << (k ? " " : "") << c.others[k];
        out << '\n';
    }
    return out.str();
}
