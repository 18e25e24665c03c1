#include "scene/interaction/PickMarks.h"

#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osgText/Text>

#include "core/io/NumberString.h"

osg::ref_ptr<osg::Geode> PickMarks::sphere(const osg::Vec3d& centre, bool fixed, const osg::Vec3d& origin)
{
    osg::ref_ptr<osg::ShapeDrawable> drawable =
        new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(centre - origin), sphereRadius));
    drawable->setColor(fixed ? osg::Vec4(0.0f, 1.0f, 0.0f, 1.0f) : osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(drawable.get());
    if (!fixed)
        geode->getOrCreateStateSet()->setMode(GL_BLEND, osg::StateAttribute::ON);
    return geode;
}

osg::ref_ptr<osg::Geode> PickMarks::edge(const osg::Vec3d& from, const osg::Vec3d& to, const osg::Vec3d& origin)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(from - origin));
    vertices->push_back(osg::Vec3(to - origin));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array(2);
    (*colours)[0] = (*colours)[1] = osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(osg::PrimitiveSet::LINES, 0, 2));

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    osg::StateSet* state = geode->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    state->setAttribute(new osg::LineWidth(2.0f));
    return geode;
}

void PickMarks::moveEdge(osg::Geode* edge, const osg::Vec3d& from, const osg::Vec3d& to, const osg::Vec3d& origin)
{
    osg::Geometry* geometry = edge && edge->getNumDrawables() ? edge->getDrawable(0)->asGeometry() : nullptr;
    auto* vertices = geometry ? dynamic_cast<osg::Vec3Array*>(geometry->getVertexArray()) : nullptr;
    if (!vertices || vertices->size() != 2)
        return;
    (*vertices)[0] = osg::Vec3(from - origin);
    (*vertices)[1] = osg::Vec3(to - origin);
    vertices->dirty();
    geometry->dirtyBound();
    // The edge is drawn from a compiled display list: without this the
    // screen keeps showing it where it was first drawn.
    geometry->dirtyGLObjects();
}

osg::ref_ptr<osg::Geode> PickMarks::distanceLabel(const osg::Vec3d& from, const osg::Vec3d& to,
                                                  const osg::Vec3d& origin)
{
    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    text->setAxisAlignment(osgText::Text::SCREEN);
    text->setAlignment(osgText::Text::CENTER_CENTER);
    text->setCharacterSize(0.1f);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(text.get());
    moveDistanceLabel(geode.get(), from, to, origin);
    return geode;
}

void PickMarks::moveDistanceLabel(osg::Geode* label, const osg::Vec3d& from, const osg::Vec3d& to,
                                  const osg::Vec3d& origin)
{
    auto* text =
        label && label->getNumDrawables() ? dynamic_cast<osgText::Text*>(label->getDrawable(0)) : nullptr;
    if (!text)
        return;
    text->setPosition(osg::Vec3((from + to) * 0.5 - origin));
    // The length of the world points, in double: at survey coordinates the
    // floats of the marks would lose centimetres.
    text->setText(distanceText((to - from).length()).toStdString());
}

QString PickMarks::distanceText(double length)
{
    return NumberString::length(length) + QLatin1Char('m');
}

osg::ref_ptr<osg::Group> PickMarks::groupAt(const osg::Vec3d& origin)
{
    if (origin == osg::Vec3d())
        return new osg::Group;
    return new osg::MatrixTransform(osg::Matrixd::translate(origin));
}

osg::ref_ptr<osg::Node> PickMarks::placed(osg::Node* node, const osg::Vec3d& origin)
{
    if (origin == osg::Vec3d())
        return node;
    osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform(osg::Matrixd::translate(origin));
    transform->addChild(node);
    return transform;
}

osg::Vec3d PickMarks::originOf(const osg::Group* group)
{
    const auto* transform = dynamic_cast<const osg::MatrixTransform*>(group);
    return transform ? transform->getMatrix().getTrans() : osg::Vec3d();
}
