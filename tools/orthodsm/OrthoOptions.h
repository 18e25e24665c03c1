#pragma once

#include <string>
#include <vector>

// The command line of OrthoDsm:
//   OrthoDsm <pipeline folder> [--nvm FILE] [--dense PLY]... [--out FOLDER]
//            [--gsd M] [--dsm-gsd M] [--epsg N] [--max-hole M] [--threads N]
//            [--cache-mb N] [--tile N]
// Without --nvm the reconstruction is <folder>/sparse.nvm with its companion
// sparse.txt; without --dense the clouds are the PLY files of the dense stage
// (<folder>/pmvs/models, <folder>/cmpmvs/models); the results go to
// <folder>/ortho/dsm.tif and <folder>/ortho/orthophoto.tif.
class OrthoOptions
{
public:
    std::string folder;
    std::string nvm;                // empty: folder/sparse.nvm
    std::vector<std::string> dense; // empty: the dense stage's clouds
    std::string out;                // empty: folder/ortho
    double gsd = 0;                 // orthophoto cell, metres; 0: the photos' ground sample
    double dsmGsd = 0;              // 0: twice the orthophoto's
    int epsg = 0;                   // 0: the one the companion file names
    double maxHole = 0;             // widest hole filled, metres; 0: 64 DSM cells
    int threads = 0;                // 0: one per core
    int cacheMegabytes = 1024;      // decoded photos kept at once
    int tile = 512;                 // cells per tile side, both rasters

    // The arguments after the program name; false with a one-line reason.
    bool parse(const std::vector<std::string>& arguments, std::string& error);

    std::string nvmPath() const;
    std::string outFolder() const;

    static const char* usage();
};
