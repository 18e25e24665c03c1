// Box selection benchmark: the points inside the selection box of a 2M-point
// cloud (the shared generator's ellipsoid shell), extracted by the picking
// controller's point-geometry path and by OSG's generic PolytopeIntersector,
// for a box keeping about 3% and one keeping about 25% of the points.
//
//   boxselect_bench PLY [ROUNDS]
//
// The cloud is read once; every measurement runs in a forked child that
// shares it, so each starts from the same memory state. Peak resident growth
// comes from the kernel's high-water mark (reset through /proc/self/clear_refs).
// Reported: median wall time and peak growth of each path and their ratios.

#include "BenchSupport.h"
#include "scene/interaction/BoxPointExtractor.h"
#include "scene/interaction/MapController.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/PointGeometry.h"
#include "scene/interaction/SelectionBox.h"

#include <osgViewer/View>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace BenchSupport;

namespace
{

struct Box {
    const char* name;
    osg::Vec3f centre;
    osg::Vec3d size; // width (x), depth (y), height (z)
    double rotation;
};

// The controller as the user drives it: box on, placed, sized, extracted.
long long controllerPath(MapController* controller, const Box& box)
{
    controller->turnOnSelectBox(true);
    controller->setBoxX(box.centre.x());
    controller->setBoxY(box.centre.y());
    controller->setBoxZ(box.centre.z());
    controller->setSelectWidth(box.size.x());
    controller->setSelectDepth(box.size.y());
    controller->setSelectHeight(box.size.z());
    controller->setBoxR(box.rotation);
    osg::ref_ptr<osg::Geode> geode = controller->extractBox();
    return geode ? geode->getDrawable(0)->asGeometry()->getVertexArray()->getNumElements() : 0;
}

// The same box through the library's polytope intersector.
long long intersectorPath(osg::Group* root, const Box& box)
{
    SelectionBox selection;
    selection.setCentre(box.centre);
    selection.setWidth(box.size.x());
    selection.setDepth(box.size.y());
    selection.setHeight(box.size.z());
    selection.setRotation(box.rotation);
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    BoxPointExtractor::extractWithIntersector(root, selection.polytope(), *vertices, *colours);
    if (vertices->empty())
        return 0;
    osg::ref_ptr<osg::Geode> geode = PointGeometry::makeGeode(vertices.get(), colours.get());
    return static_cast<long long>(vertices->size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PLY [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    osg::ref_ptr<osg::Group> root = new osg::Group;
    long long total = quiet([&] {
        PointCloudLoader::Result r = PointCloudLoader::loadPointCloud(QString::fromLocal8Bit(argv[1]));
        root->addChild(r.group.get());
        osg::ref_ptr<osg::Vec3Array> v;
        osg::ref_ptr<osg::Vec4Array> c;
        return PointCloudLoader::extractArrays(r.group.get(), v, c) ? static_cast<long long>(v->size()) : 0;
    });
    if (total == 0) {
        std::fprintf(stderr, "could not read %s\n", argv[1]);
        return 1;
    }
    std::printf("cloud: %lld points, %d rounds, median reported\n\n", total, rounds);

    // The shell is centred on (1520.25, -873.5, 112) with radii 40, 25, 10;
    // the share of a uniform shell beyond x = c + r t is (1 - t) / 2.
    const Box boxes[] = {
        {"empty box (outside)", osg::Vec3f(1700.0f, -873.5f, 112.0f), osg::Vec3d(10, 10, 10), 0.0},
        {"~3% box (x beyond 0.94 r)", osg::Vec3f(1559.8f, -873.5f, 112.0f), osg::Vec3d(4.5, 54, 22), 0.0},
        {"~25% box (x beyond 0.5 r)", osg::Vec3f(1550.75f, -873.5f, 112.0f), osg::Vec3d(21.0, 54, 22), 0.0},
        // Turned a quarter: the width runs along y, the depth along x.
        {"~25% box turned 90 deg", osg::Vec3f(1520.25f, -873.5f + 19.0f, 112.0f), osg::Vec3d(13, 84, 22),
         90.0},
    };
    // The view and controller live as long as the scene view; made once here.
    osg::ref_ptr<osgViewer::View> view = new osgViewer::View;
    osg::ref_ptr<MapController> controller = new MapController(view.get(), root.get(), nullptr);
    std::printf("%-26s %9s %6s %9s %9s %12s %11s %9s %9s %7s\n", "box", "kept", "share", "ours ms", "osg ms",
                "ours peak MB", "osg peak MB", "speed-up", "mem ratio", "B/kept");
    for (const Box& box : boxes) {
        const Figure ours = median([&] { return controllerPath(controller.get(), box); }, rounds);
        const Figure osg = median([&] { return intersectorPath(root.get(), box); }, rounds);
        std::printf("%-26s %9lld %5.1f%% %9.1f %9.1f %12.1f %11.1f %8.1fx %8.1fx %7.1f\n", box.name,
                    ours.points, 100.0 * double(ours.points) / double(total), ours.seconds * 1e3,
                    osg.seconds * 1e3, ours.peakGrowth / 1e6, osg.peakGrowth / 1e6,
                    osg.seconds / ours.seconds, osg.peakGrowth / std::max(1.0, ours.peakGrowth),
                    ours.points ? ours.peakGrowth / double(ours.points) : 0.0);
        if (osg.points != ours.points)
            std::printf("  (the intersector kept %lld points)\n", osg.points);
    }
    return 0;
}
