#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"

// Which views share enough bundle points to be matched together, in PMVS's
// vis.dat format ("VISDATA", the view count, then per view its index, the
// number of partners and the partners, strongest first).
class VisData
{
public:
    std::vector<std::vector<int>> partners;

    // Points seen by both views, for every pair (symmetric, zero diagonal).
    static std::vector<std::vector<int>> sharedPoints(const BundlerFile& bundle);
    // Partners are the views sharing at least minShared points.
    static VisData fromBundle(const BundlerFile& bundle, int minShared = 8);

    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    std::string text() const;
};
