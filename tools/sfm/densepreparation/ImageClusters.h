#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The clusters cmvs cuts a view set into, in CMVS's ske.dat format ("SKE",
// view and cluster counts, then per cluster its target and other views).
// Targets give points; others only help match the targets near the cut.
class ImageClusters
{
public:
    struct Cluster {
        std::vector<int> targets;
        std::vector<int> others;
    };
    int viewCount = 0;
    std::vector<Cluster> clusters;

    // Clusters of at most maxSize views each, targets and others together:
    // one cluster when the set fits, else groups grown along the strongest
    // shared-point links, with the best linked outside views as others.
    static ImageClusters split(const std::vector<std::vector<int>>& shared, int maxSize);

    // The clusters run in order; a view may be a target in one and help in
    // others. Of cluster k: the targets a later cluster takes as helping
    // views, and the helping views no later cluster takes.
    std::vector<int> handedOn(size_t k) const;
    std::vector<int> lastHelp(size_t k) const;
    // The cluster whose targets are these (in any order); -1 for none.
    int indexOf(std::vector<int> targets) const;

    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    std::string text() const;
};
