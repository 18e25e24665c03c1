#include <QtTest>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>

#include "core/formats/PointShift.h"
#include "scene/layers/CorridorPoints.h"
#include "scene/layers/PointCloudLoader.h"

// The cloud's points along a section come back at survey coordinates,
// whatever offset the cloud is kept relative to, and only those within the
// corridor, between the line's ends, of the clouds that are shown.
class TestCorridorPoints : public QObject
{
    Q_OBJECT

    static osg::ref_ptr<osg::Node> cloud(const std::vector<osg::Vec3d>& survey, const osg::Vec3d& offset)
    {
        osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
        for (const osg::Vec3d& p : survey)
            v->push_back(osg::Vec3(p - offset));
        osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
        g->setVertexArray(v.get());
        g->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, GLsizei(v->size())));
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(g.get());
        osg::ref_ptr<osg::Group> group = new osg::Group;
        group->addChild(geode.get());
        return PointCloudLoader::placeAt(group.get(), offset);
    }

private slots:
    void pointsInTheCorridorAtSurveyCoordinates()
    {
        const osg::Vec3d offset(712000, 4123000, 90);
        const std::vector<osg::Vec3d> points{{712005.125, 4123010.25, 95.5}, // in, 0.25 m north
                                             {712008, 4123009.8, 95.25},     // in, 0.2 m south
                                             {712009, 4123010.6, 95},        // beyond the corridor
                                             {712011, 4123010, 95},          // beyond the end
                                             {712001.5, 4123010, 94.75}};    // in, on the line
        std::vector<osg::ref_ptr<osg::Node>> clouds{cloud(points, offset)};
        osg::ref_ptr<osg::Node> hidden = cloud({{712006, 4123010, 96}}, osg::Vec3d());
        hidden->setNodeMask(0);
        clouds.push_back(hidden);
        size_t skipped = 0;
        const std::vector<double> xyz =
            CorridorPoints::collect(clouds, 712001, 4123010, 712010, 4123010, 1.0, 100, &skipped);
        QCOMPARE(xyz.size(), size_t(9));
        QCOMPARE(skipped, size_t(0));
        QCOMPARE(xyz[0], 712005.125);
        QCOMPARE(xyz[1], 4123010.25);
        QCOMPARE(xyz[2], 95.5);
        QCOMPARE(xyz[6], 712001.5);
        // A bound on what is kept, and the rest counted.
        const std::vector<double> two =
            CorridorPoints::collect(clouds, 712001, 4123010, 712010, 4123010, 1.0, 2, &skipped);
        QCOMPARE(two.size(), size_t(6));
        QCOMPARE(skipped, size_t(1));
    }
};

QTEST_MAIN(TestCorridorPoints)
#include "tst_corridorpoints.moc"
