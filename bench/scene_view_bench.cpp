// Scene view figures under Xvfb/Mesa, as regression numbers (the software
// renderer sets no goal):
//   1. frames per second of a 2M-point cloud, against an empty scene in the
//      same run;
//   2. time from the loadBundle call to the first rendered frame for an NVM
//      file, against reading the file alone in the same run.
// Usage: scene_view_bench <file.nvm> [points] [frames]

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cmath>

#include <cstdio>
#include <cstdlib>

#include "core/formats/BundleLoader.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"

namespace
{

void waitExposed(OsgWidget& w)
{
    QElapsedTimer timer;
    timer.start();
    while ((!w.windowHandle() || !w.windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// One frame, rendered and presented, before returning.
void renderOne(OsgWidget& w)
{
    const quint64 before = w.glWidget()->renderedFrames();
    while (w.glWidget()->renderedFrames() == before) {
        w.glWidget()->update();
        QCoreApplication::processEvents();
    }
}

double framesPerSecond(OsgWidget& w, int frames)
{
    renderOne(w); // warm-up: buffers uploaded, state compiled
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < frames; ++i)
        renderOne(w);
    return frames / (timer.nsecsElapsed() * 1e-9);
}

// Deterministic cloud: a 1 km square terrain-like sheet with a colour ramp.
osg::ref_ptr<osg::Group> makeCloud(int points)
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    v->reserve(size_t(points));
    c->reserve(size_t(points));
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / float(1 << 24);
    };
    for (int i = 0; i < points; ++i) {
        const float x = next() * 1000.0f, y = next() * 1000.0f;
        const float z = 20.0f * std::sin(x * 0.01f) * std::cos(y * 0.013f);
        v->push_back(osg::Vec3(x, y, z));
        c->push_back(osg::Vec4(x / 1000.0f, y / 1000.0f, 0.5f + z / 40.0f, 1.0f));
    }
    return BundleSceneBuilder::makePointGroup(v, c);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file.nvm> [points=2000000] [frames=30]\n", argv[0]);
        return 2;
    }
    const QString nvm = QString::fromLocal8Bit(argv[1]);
    const int points = argc > 2 ? std::atoi(argv[2]) : 2000000;
    const int frames = argc > 3 ? std::atoi(argv[3]) : 30;

    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w.resize(800, 600);
        w.show();
        waitExposed(w);
        if (!w.graphicsWindow()->hasContext()) {
            std::fprintf(stderr, "no OpenGL context (run under xvfb-run)\n");
            return 1;
        }
        const double emptyFps = framesPerSecond(w, frames);
        w.addPointCloud(makeCloud(points), true);
        const double cloudFps = framesPerSecond(w, frames);
        std::printf("frames per second, empty scene      : %8.1f\n", emptyFps);
        std::printf("frames per second, %d points   : %8.1f\n", points, cloudFps);
        std::printf("ratio cloud / empty                 : %8.3f\n", cloudFps / emptyFps);
    }

    // Reading alone, as the baseline of the load figure; the first read only
    // warms the page cache for both measurements.
    QElapsedTimer timer;
    double readSeconds = 0;
    for (int round = 0; round < 2; ++round) {
        timer.start();
        SparseBundle bundle;
        BundleLoader::load(nvm.toStdString(), bundle);
        readSeconds = timer.nsecsElapsed() * 1e-9;
    }

    OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
    w.resize(800, 600);
    w.show();
    waitExposed(w);
    renderOne(w);
    timer.restart();
    const bool loaded = w.loadBundle(nvm, true);
    if (loaded)
        renderOne(w);
    const double firstFrameSeconds = timer.nsecsElapsed() * 1e-9;
    if (!loaded) {
        std::fprintf(stderr, "%s did not load or render\n", argv[1]);
        return 1;
    }
    std::printf("read %s alone            : %8.3f s\n", argv[1], readSeconds);
    std::printf("loadBundle to first frame           : %8.3f s\n", firstFrameSeconds);
    std::printf("ratio first frame / read            : %8.3f\n", firstFrameSeconds / readSeconds);
    return 0;
}
