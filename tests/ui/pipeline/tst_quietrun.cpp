#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>

#include "SfmToolDoubles.h"
#include "core/project/ScanSettings.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

using Tool = ExternalTools::Tool;

namespace
{

// Counts the times the window is recomposed (each one passes the 3D view's
// picture through OpenGL again) and checks the run's bar whenever it shows.
class WindowWatch : public QObject
{
public:
    WindowWatch(QWidget* window, const QProgressBar* bar) : m_bar(bar) { window->installEventFilter(this); }
    int composed = 0;
    bool barAnimated = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest) {
            ++composed;
            // A bar without an end (minimum = maximum = 0) animates by itself.
            if (m_bar->isVisible() && m_bar->maximum() == m_bar->minimum())
                barAnimated = true;
        }
        return false;
    }

private:
    const QProgressBar* m_bar;
};

} // namespace

// While the tools work the window stays still: the 3D view draws no frame,
// and the status bar changes only when the run's progress does.
class TestQuietRun : public QObject
{
    Q_OBJECT
private slots:
    void denseRunLeavesTheViewAlone()
    {
        ScanSettings::global() = ScanSettings();
        SfmToolDoubles tools;
        // The undistortion of the dense preparation counts its photos for a few seconds.
        tools.install(
            Tool::BundlerRadialUndistort,
            "for i in 0 1 2 3 4 5 6; do echo \"progress: undistorting $i of 6 photos\"; sleep 0.4; done");
        QTemporaryDir site;
        QFile nvm(site.filePath("sparse.nvm"));
        QVERIFY(nvm.open(QIODevice::WriteOnly));
        nvm.write("NVM_V3\n");
        nvm.close();
        QFile cloud(site.filePath("cloud.ply"));
        QVERIFY(cloud.open(QIODevice::WriteOnly));
        cloud.write("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                    "property float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n");
        cloud.close();

        QMainWindow window;
        auto* view = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, nullptr);
        window.setCentralWidget(view);
        auto* log = new QListWidget(&window);
        auto* images = new MyListWidget(&window);
        ReconstructionRunner::Actions actions;
        for (auto* a :
             {&actions.runSparse, &actions.reRun, &actions.runDense, &actions.scanSettings, &actions.abort})
            *a = new QAction(&window);
        // The list and the status bar take the log channel as the window's do.
        LogView::follow(log, window.statusBar());
        auto* runner = new ReconstructionRunner(&window, images, tools.appDir(), actions);
        for (const char* name : {"a.JPG", "b.JPG"}) {
            QFile f(site.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            images->addImage(site.filePath(name), name);
        }
        window.resize(640, 480);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window) || !view->graphicsWindow()->hasContext())
            QSKIP("no OpenGL context");
        QVERIFY(view->loadPointCloud(site.filePath("cloud.ply"), true));
        // The view settles: its first frames drawn, nothing more asked for.
        QTRY_VERIFY_WITH_TIMEOUT(view->glWidget()->renderedFrames() > 0 && !view->frameWanted(), 5000);
        QTest::qWait(300);

        WindowWatch watch(&window, runner->progressBar());
        const quint64 framesBefore = view->glWidget()->renderedFrames();
        const int logBefore = log->count();
        runner->runDense();
        QVERIFY(runner->isRunning());
        QSignalSpy shown(runner->current(), &SfMReconstruction::progress);
        QTRY_VERIFY_WITH_TIMEOUT(runner->stageLabel()->text().contains(" of 6 photos"), 10000);
        QVERIFY2(runner->stageLabel()->text().startsWith("Dense preparation: undistorting "),
                 qPrintable(runner->stageLabel()->text()));
        QVERIFY(runner->progressBar()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!runner->isRunning(), 30000);
        QCoreApplication::sendPostedEvents(); // the last lines of the log channel
        const int composed = watch.composed;
        QVERIFY2(log->item(log->count() - 1)->text() == "Dense Reconstruction is done!",
                 qPrintable(log->item(log->count() - 1)->text()));

        // The stage's time, for comparing photos and machines.
        const QString took = log->item(log->count() - 2)->text();
        QVERIFY2(took.startsWith("Dense stage took ") && took.contains(" s for 2 photos: ") &&
                     took.endsWith(" s per photo"),
                 qPrintable(took));

        QCOMPARE(view->glWidget()->renderedFrames(), framesBefore);
        QVERIFY(!watch.barAnimated);
        // The window was recomposed for what changed (a new count, a log
        // line, the stage's start and end), not for an animation.
        const int changes = shown.count() + (log->count() - logBefore) + 4;
        QVERIFY2(composed <= changes,
                 qPrintable(QString("%1 recompositions for %2 changes").arg(composed).arg(changes)));
    }
};

QTEST_MAIN(TestQuietRun)
#include "tst_quietrun.moc"
