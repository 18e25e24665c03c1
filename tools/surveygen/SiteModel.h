#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The ground of a synthetic excavation site, in metres east, north and up of
// the site's south-west corner: a gently rolling terrain with trenches cut
// into it, spoil heaps and low walls. The surface the renderer draws and the
// truth that tests compare with are the same triangulated grid.
class SiteModel
{
public:
    struct Trench {
        double x0, y0, x1, y1; // outer edge
        double depth;          // of the inner floor; the step around it is half as deep
    };
    struct Heap {
        double x, y, height, sigma;
    };
    struct Wall {
        double x0, y0, x1, y1; // centre line
        double width, height;
    };
    // A later day's digging: the ground within the rectangle lowered by depth.
    struct Cut {
        double x0, y0, x1, y1, depth;
    };

    // The site some days of work later: the first trench's inner floor
    // (inset by a quarter metre) deepened by 0.5 m a day, and the spoil
    // heap beside it grown by a heap of its own width and 0.4 m a day. Day 1
    // is the site as generated.
    void advanceTo(int day);
    const std::vector<Cut>& cuts() const { return m_cuts; }
    const std::vector<Heap>& growth() const { return m_growth; }

    // The most grid vertices a site may have (240 MB of heights).
    static const double maxGridVertices;

    SiteModel() = default;
    // A site of width x depth metres with features drawn from seed; the
    // ground goes on for margin metres around it (what the outer photos see).
    static SiteModel generate(double width, double depth, double spacing, std::uint64_t seed, double margin = 30);

    double width() const { return m_width; }
    double depth() const { return m_depth; }
    double spacing() const { return m_spacing; }
    double margin() const { return m_margin; }
    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    std::uint64_t seed() const { return m_seed; }

    // The undisturbed terrain and the designed surface (terrain, cuts and
    // heaps) at a point.
    double terrainHeight(double x, double y) const;
    double designHeight(double x, double y) const;
    // What the ground is made of, for its colour: 0 topsoil, 1 trench, 2 spoil, 3 wall.
    int materialAt(double x, double y) const;
    // Height of the grid vertex (i east, j north; vertex (0, 0) lies at
    // (-margin, -margin)) and of the rendered surface anywhere on the grid
    // (each cell split along its south-west to north-east diagonal, as the
    // mesh is).
    double gridHeight(int i, int j) const { return m_heights[size_t(j) * size_t(m_columns) + size_t(i)]; }
    double heightAt(double x, double y) const;
    // First hit of the ray from origin along direction (unit) with the
    // surface, within maxDistance; false when it leaves the site or misses.
    bool intersect(const double origin[3], const double direction[3], double maxDistance, double* distance) const;

    const std::vector<Trench>& trenches() const { return m_trenches; }
    const std::vector<Heap>& heaps() const { return m_heaps; }
    const std::vector<Wall>& walls() const { return m_walls; }

    // The site's parameters as text, and back (the grid is rebuilt from them).
    std::string toText() const;
    static bool fromText(const std::string& text, SiteModel* site, std::string* error);

private:
    void buildGrid();

    double m_width = 0, m_depth = 0, m_spacing = 0.1, m_margin = 0;
    int m_columns = 0, m_rows = 0;
    std::uint64_t m_seed = 0;
    std::vector<Trench> m_trenches;
    std::vector<Heap> m_heaps;
    std::vector<Wall> m_walls;
    std::vector<Cut> m_cuts;
    std::vector<Heap> m_growth;
    std::vector<float> m_heights;
};
