#include <QtTest>

#include <osg/NodeVisitor>
#include <osg/PagedLOD>
#include <osgDB/DatabasePager>
#include <osgDB/Registry>

#include <sstream>

#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"
#include "Points2Archive.h"

namespace
{

// A grid of points at coordinates floats hold exactly, in many colours, so
// both ways of loading place every point on the same pixel.
QByteArray gridPly(int side)
{
    QByteArray text = "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex " +
                      QByteArray::number(side * side) +
                      "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                      "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
                      "property list uchar int vertex_indices\nend_header\n";
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            text += QByteArray::number(i * 0.5) + ' ' + QByteArray::number(j * 0.5) + ' ' +
                    QByteArray::number((i * j) % 7 * 0.25) + ' ' + QByteArray::number(40 + i % 200) + ' ' +
                    QByteArray::number(40 + j % 200) + ' ' + QByteArray::number(255 - (i + j) % 150) +
                    " 255\n";
    return text;
}

} // namespace

class TestArchiveRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ply;
    QString m_archive;

    std::unique_ptr<OsgWidget> shownWidget()
    {
        auto w = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w->resize(640, 480);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()) || !w->graphicsWindow()->hasContext())
            return nullptr;
        return w;
    }

    static QImage frame(OsgWidget& w)
    {
        return w.glWidget()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }

    // The same view for every picture: straight down on the grid.
    static void lookAtGrid(OsgWidget& w)
    {
        osgGA::CameraManipulator* m = w.activeManipulator();
        m->setHomePosition(osg::Vec3d(50, 50, 330), osg::Vec3d(50, 50, 0), osg::Vec3d(0, 1, 0), false);
        m->home(0.0);
    }

    // Frames until the pager has nothing left to load.
    static QImage settledFrame(OsgWidget& w)
    {
        osgDB::DatabasePager* pager = w.getOsgView()->getDatabasePager();
        QImage image;
        int quiet = 0;
        QElapsedTimer clock;
        clock.start();
        while (quiet < 5 && clock.elapsed() < 30000) {
            image = frame(w);
            const bool busy = pager->getRequestsInProgress() || pager->getFileRequestListSize() > 0 ||
                              pager->getDataToMergeListSize() > 0;
            quiet = busy ? 0 : quiet + 1;
            QTest::qWait(busy ? 20 : 5);
        }
        return image;
    }

    static int painted(const QImage& image)
    {
        const QRgb background = image.pixel(0, 0);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) != background;
        return n;
    }

private slots:
    void initTestCase()
    {
        m_ply = m_dir.filePath("grid.ply");
        QFile f(m_ply);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gridPly(200));
        f.close();
        ArchiveOptions options;
        std::string error;
        QVERIFY(options.parse({"-i", m_ply.toStdString(), "-o", m_dir.filePath("grid.bin").toStdString()},
                              error));
        OctreeBuilder::Settings settings;
        settings.leafPoints = 2000;
        settings.sampleGrid = 16;
        std::ostringstream progress;
        QVERIFY2(Points2Archive::run(options, progress, error, settings), error.c_str());
        m_archive = m_dir.filePath("grid.osga");
    }

    void sameAsPlainWhenAllDetailIsIn()
    {
        auto plain = shownWidget();
        if (!plain)
            QSKIP("no OpenGL context");
        QVERIFY(plain->loadPointCloud(m_ply, true));
        lookAtGrid(*plain);
        const QImage expected = frame(*plain);
        QVERIFY(painted(expected) > 20000);

        auto paged = shownWidget();
        QVERIFY(paged->loadPointCloud(m_archive, true));
        QVERIFY(paged->lodControlEnabled());
        lookAtGrid(*paged);
        // From afar the archive shows its samples only.
        paged->getCamera()->setLODScale(1000.0f);
        const int coarse = painted(settledFrame(*paged));
        QVERIFY2(coarse > 0 && coarse < painted(expected) / 2, qPrintable(QString::number(coarse)));

        // With every level paged in, the picture is the plain cloud's.
        paged->getCamera()->setLODScale(1e-6f);
        const QImage image = settledFrame(*paged);
        QCOMPARE(image.size(), expected.size());
        int differing = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                differing += image.pixel(x, y) != expected.pixel(x, y);
        QVERIFY2(differing == 0, qPrintable(QString("%1 pixels differ").arg(differing)));
    }

    // Frames come on demand: asked for once, the view keeps drawing while the
    // pager loads, until every level the view wants is in, and then rests.
    void pagingFinishesWithoutFurtherRequests()
    {
        auto w = shownWidget();
        if (!w)
            QSKIP("no OpenGL context");
        QVERIFY(w->loadPointCloud(m_archive, true));
        lookAtGrid(*w);
        w->getCamera()->setLODScale(1e-6f);
        w->requestFrame();
        const auto allPagedIn = [&w] {
            int waiting = 0;
            struct Count : osg::NodeVisitor {
                int* waiting;
                explicit Count(int* w) : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), waiting(w) {}
                void apply(osg::PagedLOD& node) override
                {
                    *waiting += node.getNumChildren() < 2 ? 1 : 0;
                    traverse(node);
                }
            } count(&waiting);
            w->getRoot()->accept(count);
            return waiting == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allPagedIn() && !w->frameWanted(), 30000);
        const quint64 frames = w->glWidget()->renderedFrames();
        QTest::qWait(300);
        QCOMPARE(w->glWidget()->renderedFrames(), frames);
    }

    void lastArchiveRemovedSwitchesTheControlOff()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QVERIFY(w.loadPointCloud(m_archive, true));
        QVERIFY(w.loadPointCloud(m_ply, true));
        QVERIFY(w.loadPointCloud(m_archive, true));
        const std::vector<OsgWidget::LayerId> ids = w.layerIds();
        QCOMPARE(int(ids.size()), 3);
        w.getCamera()->setLODScale(3.0f);
        w.removeLayer(ids[0]);
        QVERIFY(w.lodControlEnabled());
        w.removeLayer(ids[2]);
        QVERIFY(!w.lodControlEnabled());
        QCOMPARE(w.getCamera()->getLODScale(), 1.0f);
        w.removeLayer(ids[1]);
        QVERIFY(!w.lodControlEnabled());
    }
};

QTEST_MAIN(TestArchiveRender)
#include "archive_render.moc"
