// The workbench's processor time during a run, from /proc/self/stat: the
// window as the user has it (3D view with a cloud, log, status bar) while
// "&Orthophoto and DSM" runs a stand-in that counts its tiles for a while.
// Baseline in the same run: the same with an animated bar (no known end) in
// the status bar, as a busy indicator draws. Prints the share of a core of
// both, their ratio and the 3D view's frames.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

#include "ProcessTreeMemory.h"
#include "core/platform/ExternalTools.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"
#include "ui/images/MyListWidget.h"
#include "ui/pipeline/OrthoDsmRunner.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

namespace
{

// User plus system time of this process, in seconds.
double processorSeconds()
{
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = f.readAll();
    // Fields after the command name in parentheses; utime and stime are 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct Figures {
    double coreShare = 0;
    quint64 frames = 0;
    double peakBytes = 0; // of this process and the tools together
};

// run: "&Orthophoto and DSM" on the stand-in; otherwise the window waits idle
// as long as a run takes.
Figures measure(const QString& appDir, const QString& site, bool animatedBar, bool run, int seconds)
{
    QMainWindow window;
    auto* view = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, nullptr);
    window.setCentralWidget(view);
    auto* log = new QListWidget(&window);
    auto* images = new MyListWidget(&window);
    images->addImage(site + QStringLiteral("/a.JPG"), QStringLiteral("a.JPG"));
    // The log list and the status bar take the log channel as the window's do.
    LogView::follow(log, window.statusBar());
    auto* runner = new ReconstructionRunner(&window, images, appDir, ReconstructionRunner::Actions());
    QProgressBar busy;
    busy.setRange(0, 0);
    busy.setMaximumWidth(120);
    if (animatedBar)
        window.statusBar()->addPermanentWidget(&busy);
    window.resize(1280, 800);
    window.show();
    view->loadPointCloud(site + QStringLiteral("/cloud.ply"), true);
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();

    const quint64 frames = view->glWidget()->renderedFrames();
    QElapsedTimer wall;
    wall.start();
    // Sampled twice a second: its own share of the processor stays far below the figures.
    ProcessTreeMemory memory(500);
    const double before = processorSeconds();
    // An event loop that sleeps between events, as the window's own does.
    QEventLoop loop;
    if (run) {
        runner->runOrthoDsm();
        if (!runner->orthoDsm() || !runner->orthoDsm()->isRunning())
            return Figures();
        QObject::connect(runner->orthoDsm(), &OrthoDsmRunner::finished, &loop, &QEventLoop::quit);
    } else {
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    }
    loop.exec();
    const double used = processorSeconds() - before;
    Figures f;
    f.coreShare = used / (wall.elapsed() / 1000.0);
    f.frames = view->glWidget()->renderedFrames() - frames;
    f.peakBytes = memory.takePeak().bytes;
    if (animatedBar)
        window.statusBar()->removeWidget(&busy);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 10;
    QTemporaryDir app_, site;
    const QString appDir = app_.path();
    QFile::link(QStringLiteral(ORVALIS_APP_DIR "/orvcmd"), appDir + QStringLiteral("/orvcmd"));
    const int tiles = seconds * 4;
    QFile tool(ExternalTools::path(ExternalTools::Tool::OrthoDsm, appDir));
    QDir().mkpath(QFileInfo(tool).path());
    if (!tool.open(QIODevice::WriteOnly))
        return 1;
    tool.write(
        QStringLiteral("#!/bin/sh\ni=0\nwhile [ $i -le %1 ]; do echo \"progress: DSM $i of %1 tiles\"; "
                       "i=$((i+1)); sleep 0.25; done\n")
            .arg(tiles)
            .toUtf8());
    tool.close();
    tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);
    QFile photo(site.filePath(QStringLiteral("a.JPG")));
    photo.open(QIODevice::WriteOnly);
    photo.close();
    QFile cloud(site.filePath(QStringLiteral("cloud.ply")));
    cloud.open(QIODevice::WriteOnly);
    QByteArray ply = "ply\nformat ascii 1.0\nelement vertex 10000\nproperty float x\nproperty float y\n"
                     "property float z\nend_header\n";
    for (int i = 0; i < 10000; ++i)
        ply += QByteArray::number(i % 100) + ' ' + QByteArray::number(i / 100) + ' ' +
               QByteArray::number((i * 7) % 13) + '\n';
    cloud.write(ply);
    cloud.close();

    const Figures idle = measure(appDir, site.path(), false, false, seconds);
    const Figures animated = measure(appDir, site.path(), true, true, seconds);
    const Figures quiet = measure(appDir, site.path(), false, true, seconds);
    std::printf("run of %d s, 3D view with 10000 points, software OpenGL\n", seconds);
    for (const auto& [name, f] : {std::make_pair("the window idle, no run", idle),
                                  std::make_pair("status bar with an animated bar", animated),
                                  std::make_pair("the run's own progress display", quiet)})
        std::printf("  %-32s %5.1f%% of a core, %llu view frames, peak memory %.0f MB\n", name,
                    100 * f.coreShare, static_cast<unsigned long long>(f.frames), f.peakBytes / 1e6);
    std::printf("  ratio quiet / animated: %.2f\n",
                animated.coreShare > 0 ? quiet.coreShare / animated.coreShare : 0.0);
    return 0;
}
