#pragma once

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "RasterGrid.h"

class GDALDataset;

// Heights of a written elevation model for one thread: its own read handle
// on the file and a small cache of blocks, so the model is read as needed
// and never held whole.
class DsmSampler
{
public:
    DsmSampler(const std::string& path, const RasterGrid& grid, int block, size_t cachedBlocks);
    ~DsmSampler();
    DsmSampler(const DsmSampler&) = delete;
    DsmSampler& operator=(const DsmSampler&) = delete;

    bool valid() const { return m_dataset != nullptr; }
    // The cell's height, or false for nodata and outside the grid.
    bool cell(int column, int row, float& z);
    // Bilinear between cell centres over the cells that have a height.
    bool height(double x, double y, double& z);

private:
    const float* blockAt(int bx, int by);

    GDALDataset* m_dataset = nullptr;
    RasterGrid m_grid;
    int m_block;
    size_t m_capacity;
    std::list<long long> m_order; // most recent first
    std::unordered_map<long long, std::pair<std::vector<float>, std::list<long long>::iterator>> m_blocks;
    long long m_lastKey = -1;
    const float* m_last = nullptr;
};
