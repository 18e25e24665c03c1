#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/MatrixTransform>
#include <osg/ref_ptr>

#include "core/georef/GeoReference.h"
#include "core/formats/NvmReader.h"

class BundleCamera;
class SparseBundle;

// Turns a loaded sparse bundle into scene nodes under the scene root: one
// point group per model and one wireframe frustum per camera, optionally
// placed by a georeference (translate t, scale s, inverse rotation R).
class BundleSceneBuilder
{
public:
    // geo may be null: the nodes then stay at model coordinates. offset is
    // what the reader stored the points relative to (the scene origin for a
    // bundle at survey coordinates); each point group adds it back.
    BundleSceneBuilder(osg::Group* root, const GeoReference* geo, const osg::Vec3d& offset = osg::Vec3d());

    // Fills bundle.sparsePoints, bundle.pointCounts and every camera's
    // transform, and attaches them (or their georeference chains) to the root.
    // vertices[i] and colours[i] belong to model i; models whose arrays are
    // missing or of unequal length get no point group.
    void build(SparseBundle& bundle, const NvmReader::VertexArrays& vertices,
               const NvmReader::ColourArrays& colours) const;

    // One point set: lighting off, unculled geode, GL_POINTS over all
    // vertices; a transform by offset when that is not zero.
    static osg::ref_ptr<osg::Group> makePointGroup(osg::Vec3Array* vertices, osg::Vec4Array* colours,
                                                   const osg::Vec3d& offset = osg::Vec3d());

    // The unit-deep wireframe frustum: image rectangle at z = 1, apex at the origin.
    static osg::ref_ptr<osg::Geode> makeFrustum();

    // Places a frustum at the camera's centre, turned by the inverse of its rotation.
    static osg::ref_ptr<osg::MatrixTransform> makeCameraTransform(const BundleCamera& camera);

    // translate(t) -> scale(s) -> inverse(R) -> node; returns the outermost transform.
    static osg::ref_ptr<osg::MatrixTransform> wrapInGeoReference(osg::Node* node, const GeoReference& geo);

private:
    osg::Node* attach(osg::Node* node) const;

    osg::ref_ptr<osg::Group> m_root;
    const GeoReference* m_geo;
    osg::Vec3d m_offset;
};
