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

#include "BoxPointExtractor.h"
#include "MapController.h"
#include "PointCloudLoader.h"
#include "PointGeometry.h"
#include "SelectionBox.h"

#include <osgViewer/View>

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace
{

struct Figure {
    double seconds = 0;
    long long kept = 0;
    double peakGrowth = 0; // bytes
};

long long statusKb(const char* key)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long long value = -1;
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, key, n))
            value = std::atoll(line + n + 1);
    std::fclose(f);
    return value;
}

void resetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Quietens the controller's trace lines while it is measured.
template <typename F> long long quiet(F&& f)
{
    std::fflush(stdout);
    const int saved = dup(1);
    FILE* null = std::fopen("/dev/null", "w");
    dup2(fileno(null), 1);
    const long long result = f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(null);
    return result;
}

Figure measure(const std::function<long long()>& job)
{
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        resetPeak();
        const long long before = statusKb("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        Figure f;
        f.kept = quiet(job);
        f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        f.peakGrowth = double(statusKb("VmHWM:") - before) * 1024;
        if (write(fds[1], &f, sizeof f) != sizeof f)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    Figure f;
    if (read(fds[0], &f, sizeof f) != sizeof f)
        f = {};
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return f;
}

Figure median(const std::function<long long()>& job, int rounds)
{
    std::vector<Figure> all;
    for (int i = 0; i < rounds; ++i)
        all.push_back(measure(job));
    std::sort(all.begin(), all.end(), [](const Figure& a, const Figure& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

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
                    ours.kept, 100.0 * double(ours.kept) / double(total), ours.seconds * 1e3,
                    osg.seconds * 1e3, ours.peakGrowth / 1e6, osg.peakGrowth / 1e6,
                    osg.seconds / ours.seconds, osg.peakGrowth / std::max(1.0, ours.peakGrowth),
                    ours.kept ? ours.peakGrowth / double(ours.kept) : 0.0);
        if (osg.kept != ours.kept)
            std::printf("  (the intersector kept %lld points)\n", osg.kept);
    }
    return 0;
}
