#pragma once

#include <osg/Node>
#include <osg/ref_ptr>

#include <QString>

class GeoRaster;
class PointShift;

// An elevation model as terrain in the scene: a mesh over its cells at their
// survey coordinates (kept relative to the scene origin through the shift),
// wearing the orthophoto as its texture, or shaded grey by height without one.
// Cells without a height leave holes.
class DrapedRasterBuilder
{
public:
    // Cells per side the mesh and the texture are read at, at most.
    static constexpr int meshSide = 1024;
    static constexpr int textureSide = 4096;

    // dsm must be an elevation model; ortho, when given, an image.
    static osg::ref_ptr<osg::Node> build(const GeoRaster& dsm, const GeoRaster* ortho, PointShift& shift);

    // The terrain layer of a GeoTIFF written by OrthoDsm: the file itself and
    // its partner in the same folder (DrapedPair), put into the project's
    // reference system projectEpsg (0 while none is known; the elevation
    // model's then holds for its orthophoto). Null with a reason when the
    // pair has no elevation model or does not read; epsg receives the
    // system the mesh is in (0 for none named).
    static osg::ref_ptr<osg::Node> load(const QString& file, PointShift& shift, int projectEpsg,
                                        QString* error, int* epsg = nullptr);
};
