#include "scene/layers/PointGeometry.h"

#include <osg/BufferObject>
#include <osg/PrimitiveSet>

osg::ref_ptr<osg::Geometry> PointGeometry::makeGeometry(osg::Vec3Array* vertices, osg::Vec4Array* colours)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices);
    geometry->setColorArray(colours, osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(osg::PrimitiveSet::POINTS, 0,
                                                  vertices ? static_cast<GLsizei>(vertices->size()) : 0));
    useStreamingBuffers(geometry.get());
    return geometry;
}

osg::ref_ptr<osg::Geode> PointGeometry::makeGeode(osg::Vec3Array* vertices, osg::Vec4Array* colours)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setCullingActive(false);
    geode->addDrawable(makeGeometry(vertices, colours));
    return geode;
}

void PointGeometry::useStreamingBuffers(osg::Geometry* geometry)
{
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    if (osg::VertexBufferObject* vbo = geometry->getOrCreateVertexBufferObject())
        vbo->setUsage(GL_STREAM_DRAW);
}
