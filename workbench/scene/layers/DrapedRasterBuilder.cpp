#include "scene/layers/DrapedRasterBuilder.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/Texture2D>
#include <osgUtil/SmoothingVisitor>

#include <cmath>

#include "core/formats/DrapedPair.h"
#include "core/formats/GeoRaster.h"
#include "core/formats/PointShift.h"
#include "core/survey/ChangeRamp.h"

osg::ref_ptr<osg::Node> DrapedRasterBuilder::build(const GeoRaster& dsm, const GeoRaster* ortho,
                                                   PointShift& shift)
{
    const int w = dsm.width, h = dsm.height;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec2Array> uv = new osg::Vec2Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    std::vector<int> index(size_t(w) * size_t(h), -1);
    float low = INFINITY, high = -INFINITY;
    for (float z : dsm.heights)
        if (!std::isnan(z)) {
            low = std::min(low, z);
            high = std::max(high, z);
        }
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const float z = dsm.heights[size_t(j) * size_t(w) + size_t(i)];
            if (std::isnan(z))
                continue;
            const double x = dsm.x(i), y = dsm.y(j);
            index[size_t(j) * size_t(w) + size_t(i)] = int(vertices->size());
            vertices->push_back(shift.toLocal(x, y, z));
            if (ortho) {
                uv->push_back(osg::Vec2(float((x - ortho->left) / (ortho->width * ortho->cellX)),
                                        float((ortho->top - y) / (ortho->height * ortho->cellY))));
            } else {
                const float g = high > low ? 0.3f + 0.6f * (z - low) / (high - low) : 0.6f;
                colours->push_back(osg::Vec4(g, g, g, 1));
            }
        }
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    for (int j = 0; j + 1 < h; ++j)
        for (int i = 0; i + 1 < w; ++i) {
            const int a = index[size_t(j) * size_t(w) + size_t(i)],
                      b = index[size_t(j) * size_t(w) + size_t(i + 1)];
            const int c = index[size_t(j + 1) * size_t(w) + size_t(i)],
                      d = index[size_t(j + 1) * size_t(w) + size_t(i + 1)];
            // Counter-clockwise seen from above (rows run south).
            if (a >= 0 && c >= 0 && b >= 0)
                for (int v : {a, c, b})
                    triangles->push_back(GLuint(v));
            if (b >= 0 && c >= 0 && d >= 0)
                for (int v : {b, c, d})
                    triangles->push_back(GLuint(v));
        }
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->addPrimitiveSet(triangles.get());
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    if (ortho) {
        geometry->setTexCoordArray(0, uv.get());
        osg::ref_ptr<osg::Image> image = new osg::Image;
        auto* pixels = new unsigned char[ortho->rgba.size()];
        std::copy(ortho->rgba.begin(), ortho->rgba.end(), pixels);
        image->setImage(ortho->width, ortho->height, 1, GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, pixels,
                        osg::Image::USE_NEW_DELETE);
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
        texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
        texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
        texture->setResizeNonPowerOfTwoHint(false);
        osg::StateSet* state = geode->getOrCreateStateSet();
        state->setTextureAttributeAndModes(0, texture.get());
        // The photo's own light: no shading on top of it.
        state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
        white->push_back(osg::Vec4(1, 1, 1, 1));
        geometry->setColorArray(white.get(), osg::Array::BIND_OVERALL);
    } else {
        geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
        osgUtil::SmoothingVisitor::smooth(*geometry);
    }
    return geode;
}

osg::ref_ptr<osg::Node> DrapedRasterBuilder::load(const QString& file, PointShift& shift, int projectEpsg,
                                                  QString* error, int* epsg)
{
    const auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return osg::ref_ptr<osg::Node>();
    };
    QString why;
    const DrapedPair pair = DrapedPair::of(file, &why);
    if (pair.dsm.isEmpty() && pair.ortho.isEmpty())
        return failed(why);
    if (pair.dsm.isEmpty())
        return failed(file + QStringLiteral(": an image without the elevation model %1 beside it to drape on")
                                 .arg(DrapedPair::dsmName()));
    GeoRaster dsm, ortho;
    if (!GeoRaster::read(pair.dsm, meshSide, dsm, &why, projectEpsg))
        return failed(why);
    if (!pair.difference.isEmpty()) {
        // The change wears the diverging ramp over the later survey's surface.
        GeoRaster change;
        if (!GeoRaster::read(pair.difference, textureSide, change, &why,
                             projectEpsg ? projectEpsg : dsm.epsg))
            return failed(why);
        change.kind = GeoRaster::Kind::Image;
        change.rgba = ChangeRamp::colours(change.heights, pair.rampLimit);
        change.heights.clear();
        if (epsg)
            *epsg = dsm.epsg;
        return build(dsm, &change, shift);
    }
    // An orthophoto that does not read leaves the elevation model opened on
    // its own grey; opened itself, it must read.
    const bool hasOrtho =
        !pair.ortho.isEmpty() &&
        GeoRaster::read(pair.ortho, textureSide, ortho, &why, projectEpsg ? projectEpsg : dsm.epsg) &&
        ortho.kind == GeoRaster::Kind::Image;
    if (!hasOrtho && pair.ortho == file)
        return failed(why);
    if (epsg)
        *epsg = dsm.epsg;
    return build(dsm, hasOrtho ? &ortho : nullptr, shift);
}
