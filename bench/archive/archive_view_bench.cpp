// The 3D view with a paged archive, under Xvfb/Mesa, in one run:
//   1. time from loadPointCloud ("Add Data") to the first frame, and every
//      frame's time while the archive pages in and after it settled (the
//      level-of-detail control at work), with the whole cloud in view;
//   2. the same for the same cloud loaded as plain PLY (the baseline);
//   3. the CPU an idle view takes with the archive loaded, against the same
//      view drawing at every tick of its timer (as it did before frames were
//      drawn on demand).
// Usage: archive_view_bench <cloud.ply> <cloud.osga> [frames] [width] [height]

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <osgDB/DatabasePager>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

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

// Waits for the view's own loop to draw its next frame; its time in seconds.
double nextFrame(OsgWidget& w)
{
    QElapsedTimer timer;
    timer.start();
    const quint64 before = w.glWidget()->renderedFrames();
    while (w.glWidget()->renderedFrames() == before)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return timer.nsecsElapsed() * 1e-9;
}

// The view asked for frames without a pause, as while the user turns it.
void continuous(OsgWidget& w, bool on)
{
    w.getOsgView()->requestContinuousUpdate(on);
    w.requestFrame();
}

bool paging(OsgWidget& w)
{
    osgDB::DatabasePager* pager = w.getOsgView()->getDatabasePager();
    return pager->getRequestsInProgress() || pager->getFileRequestListSize() > 0 ||
           pager->getDataToMergeListSize() > 0;
}

struct Times {
    std::vector<double> frames;
    double median() const
    {
        std::vector<double> v = frames;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double max() const { return frames.empty() ? 0 : *std::max_element(frames.begin(), frames.end()); }
    int over(double limit) const
    {
        return int(std::count_if(frames.begin(), frames.end(), [&](double t) { return t > limit; }));
    }
};

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

// Percent of one core the process takes while the event loop runs on its own.
double corePercent(OsgWidget& w, int milliseconds, quint64* frames)
{
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit); // settle
    loop.exec();
    const quint64 before = w.glWidget()->renderedFrames();
    const double cpu = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    *frames = w.glWidget()->renderedFrames() - before;
    return 100.0 * (cpuSeconds() - cpu) / (wall.nsecsElapsed() * 1e-9);
}

std::unique_ptr<OsgWidget> shownView(int width, int height)
{
    auto w = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr);
    w->resize(width, height);
    w->show();
    waitExposed(*w);
    if (!w->graphicsWindow()->hasContext())
        return nullptr;
    w->requestFrame();
    nextFrame(*w);
    return w;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <cloud.ply> <cloud.osga> [frames=60] [width=1280] [height=800]\n",
                     argv[0]);
        return 2;
    }
    const QString ply = QString::fromLocal8Bit(argv[1]);
    const QString archive = QString::fromLocal8Bit(argv[2]);
    const int frames = argc > 3 ? std::atoi(argv[3]) : 60;
    const int width = argc > 4 ? std::atoi(argv[4]) : 1280;
    const int height = argc > 5 ? std::atoi(argv[5]) : 800;

    double archiveFirst = 0, plyFirst = 0;
    Times pagingIn, archiveSettled, plyFrames;
    double idlePercent = 0, busyPercent = 0, lodScale = 0, emptyIdle = 0, emptyBusy = 0;
    quint64 idleFrames = 0, busyFrames = 0, emptyIdleFrames = 0, emptyBusyFrames = 0;
    {
        auto w = shownView(width, height);
        if (!w) {
            std::fprintf(stderr, "no OpenGL context (run under xvfb-run)\n");
            return 1;
        }
        emptyIdle = corePercent(*w, 5000, &emptyIdleFrames);
        continuous(*w, true);
        emptyBusy = corePercent(*w, 5000, &emptyBusyFrames);
        continuous(*w, false);

        QElapsedTimer timer;
        timer.start();
        if (!w->loadPointCloud(archive, true)) {
            std::fprintf(stderr, "%s did not load\n", argv[2]);
            return 1;
        }
        nextFrame(*w);
        archiveFirst = timer.nsecsElapsed() * 1e-9;
        // Frames one after the other (the level-of-detail control at work)
        // while the pager brings the detail the view asks for, and after.
        continuous(*w, true);
        int quiet = 0;
        timer.restart();
        while (quiet < 10 && timer.elapsed() < 120000) {
            pagingIn.frames.push_back(nextFrame(*w));
            quiet = paging(*w) ? 0 : quiet + 1;
        }
        for (int i = 0; i < frames; ++i)
            archiveSettled.frames.push_back(nextFrame(*w));
        continuous(*w, false);
        lodScale = w->getCamera()->getLODScale();

        idlePercent = corePercent(*w, 5000, &idleFrames);
        continuous(*w, true);
        busyPercent = corePercent(*w, 5000, &busyFrames);
        continuous(*w, false);
    }
    {
        auto w = shownView(width, height);
        QElapsedTimer timer;
        timer.start();
        if (!w->loadPointCloud(ply, true)) {
            std::fprintf(stderr, "%s did not load\n", argv[1]);
            return 1;
        }
        nextFrame(*w);
        plyFirst = timer.nsecsElapsed() * 1e-9;
        continuous(*w, true);
        for (int i = 0; i < std::max(5, frames / 6); ++i)
            plyFrames.frames.push_back(nextFrame(*w));
        continuous(*w, false);
    }

    std::printf("view %dx%d, whole cloud in view\n", width, height);
    std::printf("first frame after loadPointCloud, archive  : %8.3f s\n", archiveFirst);
    std::printf("first frame after loadPointCloud, PLY      : %8.3f s\n", plyFirst);
    std::printf("ratio first frame archive / PLY            : %8.4f\n", archiveFirst / plyFirst);
    std::printf("archive paging in: %zu frames, median %.1f ms, max %.1f ms, %d over 50 ms\n",
                pagingIn.frames.size(), pagingIn.median() * 1e3, pagingIn.max() * 1e3, pagingIn.over(0.05));
    std::printf(
        "archive settled  : %zu frames, median %.1f ms, max %.1f ms, %d over 50 ms (LOD scale %.2f)\n",
        archiveSettled.frames.size(), archiveSettled.median() * 1e3, archiveSettled.max() * 1e3,
        archiveSettled.over(0.05), lodScale);
    std::printf("PLY              : %zu frames, median %.1f ms, max %.1f ms\n", plyFrames.frames.size(),
                plyFrames.median() * 1e3, plyFrames.max() * 1e3);
    std::printf("ratio frame time PLY / archive (medians)   : %8.1f\n",
                plyFrames.median() / archiveSettled.median());
    std::printf("idle empty view           : %5.2f%% of a core, %llu frames in 5 s\n", emptyIdle,
                static_cast<unsigned long long>(emptyIdleFrames));
    std::printf("empty view, every tick    : %5.1f%% of a core, %llu frames in 5 s\n", emptyBusy,
                static_cast<unsigned long long>(emptyBusyFrames));
    std::printf("idle view with the archive: %5.2f%% of a core, %llu frames in 5 s\n", idlePercent,
                static_cast<unsigned long long>(idleFrames));
    std::printf("drawing at every tick     : %5.1f%% of a core, %llu frames in 5 s\n", busyPercent,
                static_cast<unsigned long long>(busyFrames));
    std::printf("ratio idle / every tick                    : %8.4f\n", idlePercent / busyPercent);
    return 0;
}
