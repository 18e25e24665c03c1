#include <QtTest>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>

#include "core/formats/PointShift.h"
#include "scene/layers/ContourSceneBuilder.h"

// Contour lines in the scene: each vertex where the line lies (relative to
// the scene origin, a centimetre up), every fifth level in the darker,
// wider style of a plan's index contours.
class TestContourSceneBuilder : public QObject
{
    Q_OBJECT
private slots:
    void linesAtTheirHeightsWithIndexContours()
    {
        std::vector<ContourSceneBuilder::Line> lines;
        for (int k = 0; k < 11; ++k) {
            const double level = 95.0 + 0.1 * k;
            lines.push_back({{712000.0 + k, 4123000.0, level},
                             {712000.5 + k, 4123001.0, level},
                             {712001.0 + k, 4123000.0, level}});
        }
        PointShift shift(SceneOrigin(osg::Vec3d(712000, 4123000, 90)));
        osg::ref_ptr<osg::Node> node = ContourSceneBuilder::build(lines, shift);
        auto* geode = node->asGeode();
        QVERIFY(geode);
        QCOMPARE(int(geode->getNumDrawables()), 2);
        const osg::Geometry* minor = geode->getDrawable(0)->asGeometry();
        const osg::Geometry* major = geode->getDrawable(1)->asGeometry();
        // 95.0 and 95.5 and 96.0 are index contours at a 0.1 m interval.
        QCOMPARE(int(major->getNumPrimitiveSets()), 3);
        QCOMPARE(int(minor->getNumPrimitiveSets()), 8);
        const auto* width = dynamic_cast<const osg::LineWidth*>(
            major->getStateSet()->getAttribute(osg::StateAttribute::LINEWIDTH));
        QVERIFY(width && width->getWidth() > 1.5f);
        const auto* v = static_cast<const osg::Vec3Array*>(major->getVertexArray());
        const osg::Vec3d first = shift.toWorld((*v)[0]);
        QVERIFY(std::fabs(first.x() - 712000) < 1e-3 && std::fabs(first.z() - 95.01) < 1e-3);
    }
};

QTEST_MAIN(TestContourSceneBuilder)
#include "tst_contourscenebuilder.moc"
