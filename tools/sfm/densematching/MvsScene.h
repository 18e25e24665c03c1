#pragma once

#include <array>
#include <string>
#include <vector>

#include "DenseLayout.h"
#include "MvsCamera.h"

// The dense matcher's input: the views of a prepared folder (camera matrix
// and image file) and the sparse points with the views that see them, which
// steer the choice of neighbours and the depth range of each view.
class MvsScene
{
public:
    struct Point {
        std::array<double, 3> position{};
        std::vector<int> views;
    };

    std::vector<MvsCamera> cameras; // sizes filled in when the images are read
    std::vector<std::string> images;
    std::vector<Point> points;
    // Views worth matching with each view (vis.dat); empty when unknown.
    std::vector<std::vector<int>> partners;

    // Reads camera files 0, 1, ... until one is missing, the images beside
    // them and bundle.rd.out; vis.dat in the PMVS folder when present.
    bool load(const DenseLayout& layout, std::string* error = nullptr);
};
