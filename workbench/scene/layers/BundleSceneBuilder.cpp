#include "scene/layers/BundleSceneBuilder.h"

#include "core/log/LogSink.h"
#include "scene/layers/PointGeometry.h"

#include "core/formats/SparseBundle.h"

#include <osg/BufferObject>
#include <osg/Geometry>
#include <osg/PolygonMode>

#include <cstdio>

BundleSceneBuilder::BundleSceneBuilder(osg::Group* root, const GeoReference* geo, const osg::Vec3d& offset)
    : m_root(root), m_geo(geo), m_offset(offset)
{
}

osg::ref_ptr<osg::Group> BundleSceneBuilder::makePointGroup(osg::Vec3Array* vertices, osg::Vec4Array* colours,
                                                            const osg::Vec3d& offset)
{
    osg::ref_ptr<osg::Geode> geode = PointGeometry::makeGeode(vertices, colours);

    osg::ref_ptr<osg::Group> group =
        offset == osg::Vec3d() ? new osg::Group : new osg::MatrixTransform(osg::Matrixd::translate(offset));
    group->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    group->addChild(geode);
    return group;
}

osg::ref_ptr<osg::Geode> BundleSceneBuilder::makeFrustum()
{
    osg::ref_ptr<osg::Vec3Array> corners = new osg::Vec3Array;
    corners->push_back(osg::Vec3(-0.5f, 0.5f, 1.0f));
    corners->push_back(osg::Vec3(0.5f, 0.5f, 1.0f));
    corners->push_back(osg::Vec3(0.5f, -0.5f, 1.0f));
    corners->push_back(osg::Vec3(-0.5f, -0.5f, 1.0f));
    corners->push_back(osg::Vec3(0.0f, 0.0f, 0.0f));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->assign(5, osg::Vec4(1.0f, 1.0f, 1.0f, 0.8f));

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(corners);
    geometry->setColorArray(colours, osg::Array::BIND_PER_VERTEX);

    osg::ref_ptr<osg::DrawElementsUInt> image = new osg::DrawElementsUInt(GL_QUADS);
    for (unsigned i : {3u, 2u, 1u, 0u})
        image->push_back(i);
    geometry->addPrimitiveSet(image);
    const unsigned sides[4][3] = {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};
    for (const auto& side : sides) {
        osg::ref_ptr<osg::DrawElementsUInt> triangle = new osg::DrawElementsUInt(GL_TRIANGLES);
        for (unsigned i : side)
            triangle->push_back(i);
        geometry->addPrimitiveSet(triangle);
    }

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setCullingActive(false);
    geode->addDrawable(geometry);
    osg::StateSet* state = geode->getOrCreateStateSet();
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setAttributeAndModes(
        new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::LINE),
        osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    return geode;
}

osg::ref_ptr<osg::MatrixTransform> BundleSceneBuilder::makeCameraTransform(const BundleCamera& camera)
{
    // The same placement a position/attitude transform gives: attitude first,
    // then the position.
    osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform;
    transform->setMatrix(osg::Matrixd::rotate(camera.quat().inverse()) * osg::Matrixd::translate(camera.centre));
    transform->addChild(makeFrustum());
    return transform;
}

osg::ref_ptr<osg::MatrixTransform> BundleSceneBuilder::wrapInGeoReference(osg::Node* node,
                                                                          const GeoReference& geo)
{
    osg::ref_ptr<osg::MatrixTransform> translate =
        new osg::MatrixTransform(osg::Matrixd::translate(geo.translation));
    osg::ref_ptr<osg::MatrixTransform> scale = new osg::MatrixTransform(osg::Matrixd::scale(geo.scale));
    osg::ref_ptr<osg::MatrixTransform> rotate = new osg::MatrixTransform(osg::Matrixd::inverse(geo.rotation));
    translate->addChild(scale);
    scale->addChild(rotate);
    rotate->addChild(node);
    return translate;
}

osg::Node* BundleSceneBuilder::attach(osg::Node* node) const
{
    if (!m_geo) {
        m_root->addChild(node);
        return node;
    }
    osg::ref_ptr<osg::MatrixTransform> top = wrapInGeoReference(node, *m_geo);
    m_root->addChild(top);
    return top.get();
}

void BundleSceneBuilder::build(SparseBundle& bundle, const NvmReader::VertexArrays& vertices,
                               const NvmReader::ColourArrays& colours) const
{
    for (size_t i = 0; i < vertices.size(); ++i) {
        osg::Vec3Array* points = vertices[i].get();
        osg::Vec4Array* pointColours = i < colours.size() ? colours[i].get() : nullptr;
        // A colour array of another length would make OSG read past its end.
        if (!points || !pointColours || points->size() != pointColours->size()) {
            LogSink::printf(LogLevel::Warning,
                            "Points from model %zu skipped: vertex and colour counts differ\n", i);
            continue;
        }
        osg::ref_ptr<osg::Group> group = makePointGroup(points, pointColours, m_offset);
        bundle.sparsePoints.push_back(group);
        bundle.pointCounts.push_back(int(points->size()));
        LogSink::printf(LogLevel::Debug, "Points from model: %d\n", int(points->size()));
        attach(group.get());
        if (!m_geo)
            LogSink::printf(LogLevel::Debug,
                            "root->addChild(newSparseBundle->sparsePoints[i])=groupCount = %u\n",
                            m_root->getNumChildren());
    }

    for (SparseBundle::CameraList& cameras : bundle.bundleCameras) {
        for (std::unique_ptr<BundleCamera>& camera : cameras) {
            if (!camera)
                continue;
            camera->transform = makeCameraTransform(*camera);
            attach(camera->transform.get());
        }
    }
}
