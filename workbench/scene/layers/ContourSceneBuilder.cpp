#include "scene/layers/ContourSceneBuilder.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>

#include <cmath>
#include <set>

#include "core/formats/PointShift.h"
#include "core/survey/ContourMaker.h"

osg::ref_ptr<osg::Node> ContourSceneBuilder::build(const std::vector<Line>& lines, PointShift& shift)
{
    // The interval is the smallest step between the heights present.
    std::set<double> levels;
    for (const Line& line : lines)
        if (!line.empty())
            levels.insert(line.front()[2]);
    double interval = 0;
    for (auto it = levels.begin(); it != levels.end() && std::next(it) != levels.end(); ++it) {
        const double step = *std::next(it) - *it;
        if (step > 1e-9 && (interval == 0 || step < interval))
            interval = step;
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    osg::ref_ptr<osg::Geometry> minor = new osg::Geometry, major = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> minorPoints = new osg::Vec3Array, majorPoints = new osg::Vec3Array;
    minor->setVertexArray(minorPoints.get());
    major->setVertexArray(majorPoints.get());
    for (const Line& line : lines) {
        if (line.size() < 2)
            continue;
        const double level = line.front()[2];
        const bool index = interval > 0 && std::fabs(std::remainder(level / interval, 5.0)) < 1e-6;
        osg::Geometry* geometry = index ? major.get() : minor.get();
        osg::Vec3Array* points = index ? majorPoints.get() : minorPoints.get();
        const unsigned first = unsigned(points->size());
        for (const auto& p : line)
            points->push_back(shift.toLocal(p[0], p[1], p[2] + 0.01));
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_LINE_STRIP, GLint(first), GLsizei(line.size())));
    }
    const auto style = [](osg::Geometry* g, const osg::Vec4& colour, float width) {
        osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
        c->push_back(colour);
        g->setColorArray(c.get(), osg::Array::BIND_OVERALL);
        g->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(width));
    };
    style(minor.get(), osg::Vec4(0.55f, 0.27f, 0.07f, 1), 1.0f);
    style(major.get(), osg::Vec4(0.35f, 0.15f, 0.02f, 1), 2.0f);
    if (minor->getNumPrimitiveSets() > 0)
        geode->addDrawable(minor.get());
    if (major->getNumPrimitiveSets() > 0)
        geode->addDrawable(major.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    return geode;
}

osg::ref_ptr<osg::Node> ContourSceneBuilder::load(const QString& file, PointShift& shift, QString* error,
                                                  int* epsg)
{
    std::vector<ContourMaker::Line> lines;
    int system = 0;
    if (!ContourMaker::readLines(file, lines, system, error))
        return {};
    if (epsg)
        *epsg = system;
    return build(lines, shift);
}
