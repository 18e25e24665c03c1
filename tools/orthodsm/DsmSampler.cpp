#include "DsmSampler.h"

#include <cmath>

#include <gdal_priv.h>

#include "DsmBuilder.h"

DsmSampler::DsmSampler(const std::string& path, const RasterGrid& grid, int block, size_t cachedBlocks)
    : m_grid(grid), m_block(block), m_capacity(cachedBlocks)
{
    m_dataset = static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly));
}

DsmSampler::~DsmSampler()
{
    if (m_dataset)
        GDALClose(m_dataset);
}

const float* DsmSampler::blockAt(int bx, int by)
{
    const long long key = (long long)by * 1000003LL + bx;
    if (key == m_lastKey)
        return m_last;
    auto found = m_blocks.find(key);
    if (found != m_blocks.end()) {
        m_order.splice(m_order.begin(), m_order, found->second.second);
    } else {
        if (m_blocks.size() >= m_capacity) {
            m_blocks.erase(m_order.back());
            m_order.pop_back();
        }
        const int x0 = bx * m_block, y0 = by * m_block;
        const int w = std::min(m_block, m_grid.width - x0), h = std::min(m_block, m_grid.height - y0);
        std::vector<float> cells(size_t(m_block) * size_t(m_block), DsmBuilder::noData);
        if (m_dataset->GetRasterBand(1)->RasterIO(GF_Read, x0, y0, w, h, cells.data(), w, h, GDT_Float32, 0,
                                                  GSpacing(sizeof(float)) * m_block, nullptr) != CE_None)
            std::fill(cells.begin(), cells.end(), DsmBuilder::noData);
        m_order.push_front(key);
        found = m_blocks.emplace(key, std::make_pair(std::move(cells), m_order.begin())).first;
    }
    m_lastKey = key;
    m_last = found->second.first.data();
    return m_last;
}

bool DsmSampler::cell(int column, int row, float& z)
{
    if (column < 0 || row < 0 || column >= m_grid.width || row >= m_grid.height)
        return false;
    const float* b = blockAt(column / m_block, row / m_block);
    z = b[size_t(row % m_block) * size_t(m_block) + size_t(column % m_block)];
    return z != DsmBuilder::noData;
}

bool DsmSampler::height(double x, double y, double& z)
{
    const double u = m_grid.column(x) - 0.5, v = m_grid.row(y) - 0.5;
    const int i = int(std::floor(u)), j = int(std::floor(v));
    const double fu = u - i, fv = v - j;
    double sum = 0, weights = 0;
    for (int dj = 0; dj <= 1; ++dj)
        for (int di = 0; di <= 1; ++di) {
            float h;
            if (!cell(i + di, j + dj, h))
                continue;
            const double w = (di ? fu : 1 - fu) * (dj ? fv : 1 - fv);
            sum += w * h;
            weights += w;
        }
    if (!(weights > 1e-6))
        return false;
    z = sum / weights;
    return true;
}
