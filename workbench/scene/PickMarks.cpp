#include "PickMarks.h"

#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/ShapeDrawable>
#include <osgText/Text>

osg::ref_ptr<osg::Geode> PickMarks::sphere(const osg::Vec3& centre, bool fixed)
{
    osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(new osg::Sphere(centre, sphereRadius));
    drawable->setColor(fixed ? osg::Vec4(0.0f, 1.0f, 0.0f, 1.0f) : osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(drawable.get());
    if (!fixed)
        geode->getOrCreateStateSet()->setMode(GL_BLEND, osg::StateAttribute::ON);
    return geode;
}

osg::ref_ptr<osg::Geode> PickMarks::edge(const osg::Vec3& from, const osg::Vec3& to)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(from);
    vertices->push_back(to);
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

void PickMarks::moveEdge(osg::Geode* edge, const osg::Vec3& from, const osg::Vec3& to)
{
    osg::Geometry* geometry = edge && edge->getNumDrawables() ? edge->getDrawable(0)->asGeometry() : nullptr;
    auto* vertices = geometry ? dynamic_cast<osg::Vec3Array*>(geometry->getVertexArray()) : nullptr;
    if (!vertices || vertices->size() != 2)
        return;
    (*vertices)[0] = from;
    (*vertices)[1] = to;
    vertices->dirty();
    geometry->dirtyBound();
    // The edge is drawn from a compiled display list: without this the
    // screen keeps showing it where it was first drawn.
    geometry->dirtyGLObjects();
}

osg::ref_ptr<osg::Geode> PickMarks::distanceLabel(const osg::Vec3& from, const osg::Vec3& to)
{
    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    text->setAxisAlignment(osgText::Text::SCREEN);
    text->setAlignment(osgText::Text::CENTER_CENTER);
    text->setCharacterSize(0.1f);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(text.get());
    moveDistanceLabel(geode.get(), from, to);
    return geode;
}

void PickMarks::moveDistanceLabel(osg::Geode* label, const osg::Vec3& from, const osg::Vec3& to)
{
    auto* text =
        label && label->getNumDrawables() ? dynamic_cast<osgText::Text*>(label->getDrawable(0)) : nullptr;
    if (!text)
        return;
    text->setPosition((from + to) * 0.5f);
    text->setText(distanceText(double((to - from).length())).toStdString());
}

QString PickMarks::distanceText(double length)
{
    return QString::number(length, 'g', 6) + QLatin1Char('m');
}
