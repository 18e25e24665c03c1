#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cmath>

#include "BundlerFile.h"
#include "SharedData.h"
#include "core/georef/ControlPoint.h"
#include "core/images/ExifScript.h"
#include "scene/images/ImageMatchScene.h"
#include "scene/view/OsgWidget.h"
#include "ui/images/ImageLabel.h"
#include "ui/images/ImageViewer.h"
#include "ui/images/MyListWidget.h"

namespace
{

const QByteArray exifXml = "<?xml version='1.0' encoding='UTF-8'?>\n"
                           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                           "<rdf:Description xmlns:IFD0='http://ns.exiftool.org/EXIF/IFD0/1.0/'>\n"
                           " <IFD0:Make>Testcam</IFD0:Make>\n <IFD0:Model>T1</IFD0:Model>\n"
                           "</rdf:Description>\n</rdf:RDF>\n";

// Images of 800 x 600 pixels in a folder, each with its EXIF file, listed in the image list.
class Photos
{
public:
    explicit Photos(int count)
    {
        for (int i = 0; i < count; ++i) {
            QImage image(800, 600, QImage::Format_RGB32);
            image.fill(QColor(40 + 60 * i, 90, 120));
            const QString path = m_dir.filePath(QStringLiteral("photo%1.png").arg(i));
            image.save(path);
            QFile xml(ExifScript::xmlPath(path));
            xml.open(QIODevice::WriteOnly);
            xml.write(exifXml);
            paths << path;
        }
        list.addImages(paths);
    }
    QString folder() const { return m_dir.path(); }

    QStringList paths;
    MyListWidget list;

private:
    QTemporaryDir m_dir;
};

void answer(QMessageBox* box, QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, box, [box, button] { box->button(button)->click(); });
}

QImage shown(ImageViewer& v)
{
    return v.imageLabel()->pixmap(Qt::ReturnByValue).toImage();
}

// The kermit photos' reconstruction as the first loaded bundle: camera i is
// kermitNNN.jpg, each view names the feature of its key file.
void addKermitBundle(OsgWidget& scene)
{
    BundlerFile file;
    QVERIFY(file.readFile(SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString()));
    auto bundle = std::make_unique<SparseBundle>();
    bundle->bundleCameras.emplace_back();
    for (size_t i = 0; i < file.cameras.size(); ++i) {
        auto camera = std::make_unique<BundleCamera>();
        camera->name = QStringLiteral("kermit%1.jpg").arg(int(i), 3, 10, QChar('0')).toStdString();
        camera->focalLength = file.cameras[i].focal;
        bundle->bundleCameras[0].push_back(std::move(camera));
    }
    NvmReader::VertexArrays vertices{new osg::Vec3Array};
    NvmReader::ColourArrays colours{new osg::Vec4Array};
    for (size_t j = 0; j < file.points.size(); ++j) {
        const BundlerFile::Point& p = file.points[j];
        vertices[0]->push_back(osg::Vec3(p.position[0], p.position[1], p.position[2]));
        colours[0]->push_back(osg::Vec4(1, 1, 1, 1));
        for (const BundlerFile::View& view : p.views)
            bundle->bundleCameras[0][size_t(view.camera)]->views.push_back(std::make_unique<PointView>(
                PointView{double(view.camera), double(view.key), view.x, view.y, double(j)}));
    }
    scene.addBundle(std::move(bundle), vertices, colours, nullptr, true);
}

// Pixels the overlay changed to `colour` in a window around (x, y).
QVector<QPoint> painted(const QImage& overlay, const QImage& clean, int x, int y, QRgb colour)
{
    QVector<QPoint> out;
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) {
            const QPoint p(x + dx, y + dy);
            if (overlay.pixel(p) != clean.pixel(p) && overlay.pixel(p) == colour)
                out << p;
        }
    return out;
}

} // namespace

class TestImageViewer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void init() { m_scene = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr); }
    void cleanup() { m_scene.reset(); }

    void zoomStepsOfAQuarterUpToThree()
    {
        Photos photos(1);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.normalSize();
        QAction* in = v.action("&Zoom in 25%");
        for (double expected : {1.25, 1.5625, 1.953125, 2.44140625, 3.0517578125}) {
            QVERIFY(in->isEnabled());
            in->trigger();
            QCOMPARE(v.scaleFactor(), expected);
            QCOMPARE(v.imageLabel()->size(), QSize(qRound(800 * expected), qRound(600 * expected)));
        }
        QVERIFY(!in->isEnabled());
        v.action("&Zoom Out 25%")->trigger();
        QVERIFY(in->isEnabled());
    }

    // A picture opens fitted to the window once the window has its size; a
    // viewport of 640 pixels or less keeps the scale as it is.
    void fittingNeedsAViewportWiderThan640()
    {
        Photos photos(1);
        QImage(2000, 1500, QImage::Format_RGB32).save(photos.paths[0]);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QSize viewport = v.scrollArea()->viewport()->size();
        QVERIFY(viewport.width() > 640);
        QTRY_COMPARE(v.scaleFactor(), std::min(viewport.width() / 2000.0, viewport.height() / 1500.0));

        v.showNormal();
        v.resize(600, 500);
        QTRY_VERIFY(v.scrollArea()->viewport()->width() <= 640);
        v.normalSize();
        v.zoomOut();
        v.fitWindowSize();
        QCOMPARE(v.scaleFactor(), 0.8);
    }

    void fourLeftTurnsShowTheFirstPicture()
    {
        Photos photos(1);
        QImage asymmetric(800, 600, QImage::Format_RGB32);
        asymmetric.fill(Qt::black);
        asymmetric.setPixel(10, 20, qRgb(255, 0, 0));
        asymmetric.save(photos.paths[0]);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        const QImage first = shown(v);
        v.action("&Rotate Left")->trigger();
        QCOMPARE(shown(v).size(), QSize(600, 800));
        QCOMPARE(shown(v).pixel(20, 789), qRgb(255, 0, 0));
        for (int i = 0; i < 3; ++i)
            v.action("&Rotate Left")->trigger();
        QCOMPARE(v.rotation(), -360);
        QCOMPARE(shown(v), first);
    }

    void nextWrapsAroundTheList()
    {
        Photos photos(3);
        ImageViewer v(photos.paths[2], &photos.list, m_scene.get(), nullptr);
        v.action("&next image")->trigger();
        QCOMPARE(v.fileName(), photos.paths[0]);
        QCOMPARE(v.windowTitle(), QString("photo0.png"));
        v.action("&previous image")->trigger();
        QCOMPARE(v.fileName(), photos.paths[2]);

        Photos single(1);
        ImageViewer alone(single.paths[0], &single.list, m_scene.get(), nullptr);
        alone.action("&next image")->trigger();
        QCOMPARE(alone.fileName(), single.paths[0]);
    }

    // The question comes first; the row goes through the image list and the file stays.
    void deletingAsksAndGoesOnWithTheNextImage()
    {
        Photos photos(2);
        auto* v = new ImageViewer(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QPointer<ImageViewer> alive(v);
        answer(v->confirmationBox(), QMessageBox::Cancel);
        v->action("&delete the image")->trigger();
        QCOMPARE(photos.list.count(), 2);
        QVERIFY(v->confirmationBox()->informativeText().contains("photo0.png?"));

        answer(v->confirmationBox(), QMessageBox::Ok);
        v->action("&delete the image")->trigger();
        QCOMPARE(photos.list.count(), 1);
        QCOMPARE(v->fileName(), photos.paths[1]);
        QVERIFY(QFile::exists(photos.paths[0]));

        answer(v->confirmationBox(), QMessageBox::Ok);
        v->action("&delete the image")->trigger();
        QCOMPARE(photos.list.count(), 0);
        QTRY_VERIFY(!alive); // closed, and gone with it
    }

    // A press shows the loupe at 3x around the pressed pixel; the release at
    // (30, 60) in it is the image pixel origin + (10, 20), rotated pictures alike.
    void loupeMapsItsPixelsToTheImage_data()
    {
        QTest::addColumn<int>("turns");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("upright") << 0 << QPoint(10, 20);
        // Turned right, the loupe's left edge is the image's bottom.
        QTest::newRow("turned right") << 1 << QPoint(20, 200 - 10);
    }
    void loupeMapsItsPixelsToTheImage()
    {
        QFETCH(int, turns);
        QFETCH(QPoint, offset);
        Photos photos(1);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        for (int i = 0; i < turns; ++i)
            v.action("&Rotate Right")->trigger();
        v.normalSize();
        v.action("&Match Pixels")->trigger();

        QTest::mousePress(v.imageLabel(), Qt::LeftButton, {}, QPoint(400, 300));
        QVERIFY(v.isZoomed());
        QCOMPARE(v.scaleFactor(), 1.0);
        QCOMPARE(v.imageLabel()->size(), shown(v).size() * 3);
        // The pressed pixel is the loupe's centre.
        const QPoint pressed = turns ? QPoint(300, 600 - 400) : QPoint(400, 300);
        QCOMPARE(v.loupeOrigin(), QPoint(int(pressed.x() - 800 / 6.0), int(pressed.y() - 600 / 6.0)));

        QSignalSpy picked(&v, &ImageViewer::imagePointPicked);
        QTest::mouseRelease(v.imageLabel(), Qt::LeftButton, {}, QPoint(30, 60));
        QVERIFY(!v.isZoomed());
        QCOMPARE(shown(v).size(), turns ? QSize(600, 800) : QSize(800, 600));
        // Picks snapped to whole pixels: the position under the cursor (the
        // middle of its screen pixel) at the loupe's three times.
        QCOMPARE(picked.size(), 1);
        const QPointF at = picked[0][1].toPointF() - QPointF(v.loupeOrigin());
        const QPointF expected = turns ? QPointF(60.5 / 3, 200 - 30.5 / 3) : QPointF(30.5 / 3, 60.5 / 3);
        QVERIFY2(std::abs(at.x() - expected.x()) < 1e-9 && std::abs(at.y() - expected.y()) < 1e-9,
                 qPrintable(QString("%1, %2").arg(at.x()).arg(at.y())));
        const ImageSelection& s = m_scene->imageMatches()->selection();
        QCOMPARE(s.matches().size(), 1);
        QCOMPARE(QPoint(s.matches()[0][0].x, s.matches()[0][0].y), v.loupeOrigin() + offset);
    }

    void zKeyShowsActualPixelsWhileHeld()
    {
        Photos photos(2);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.zoomOut();
        const double before = v.scaleFactor();
        QTest::keyPress(&v, Qt::Key_Z);
        QVERIFY(v.isZoomed());
        QCOMPARE(v.scaleFactor(), 1.0);
        QCOMPARE(v.imageLabel()->size(), QSize(800, 600));
        v.action("&next image")->trigger(); // not while held
        QCOMPARE(v.fileName(), photos.paths[0]);
        QTest::keyRelease(&v, Qt::Key_Z);
        QVERIFY(!v.isZoomed());
        QCOMPARE(v.scaleFactor(), before);

        QTest::keyClick(&v, Qt::Key_Q);
        QVERIFY(v.isZoomed());
        QTest::keyClick(&v, Qt::Key_Q);
        QVERIFY(!v.isZoomed());
    }

    void featureOverlayBringsTheExifOverlayAlong()
    {
        Photos photos(1);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        const QImage clean = shown(v);
        QVERIFY(!v.exifOverlayOn());
        ImagePick feature;
        feature.imageName = "photo0.png";
        feature.x = 50;
        feature.y = 60;
        m_scene->imageMatches()->selection().toggleFeature(feature);
        v.action("&Display Feature Data")->trigger();
        QVERIFY(v.featureOverlayOn());
        QVERIFY(v.exifOverlayOn());
        QVERIFY(v.action("&Display Exif")->isChecked());
        QVERIFY(v.exifLabel()->text().contains("Make: Testcam"));
        QCOMPARE(shown(v).pixelColor(50, 60), QColor(Qt::black)); // the picked feature
        v.action("&Display Feature Data")->trigger();
        QVERIFY(!v.featureOverlayOn());
        QVERIFY(v.exifOverlayOn());
        QCOMPARE(shown(v), clean);
    }

    // A feature the reconstruction used is white inside its red mark; without
    // a loaded bundle every feature is red.
    void usedFeaturesAreWhiteInsideRed_data()
    {
        QTest::addColumn<bool>("withBundle");
        QTest::newRow("bundle loaded") << true;
        QTest::newRow("no bundle") << false;
    }
    void usedFeaturesAreWhiteInsideRed()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(bool, withBundle);
        QTemporaryDir dir;
        const QString image = dir.filePath("kermit000.jpg");
        QVERIFY(QFile::link(SharedData::path("images/kermit/kermit000.jpg"), image));
        QVERIFY(QFile::link(SharedData::path("sift/kermit000.key"), dir.filePath("kermit000.key")));
        QVERIFY(QFile::link(SharedData::path("exif/kermit000.xml"), dir.filePath("kermit000.xml")));
        if (withBundle)
            addKermitBundle(*m_scene);
        MyListWidget list;
        list.addImages({image});
        ImageViewer v(image, &list, m_scene.get(), nullptr);
        const QImage clean = shown(v);
        v.toggleSparseOverlay();
        QCOMPARE(v.features().size(), 1031);
        QCOMPARE(v.cameraIndex(), withBundle ? 0 : -1);
        QCOMPARE(v.usedFeatures().isEmpty(), !withBundle);

        // A feature far from the others, used by the reconstruction.
        const QImage overlay = shown(v);
        const FeatureRecord* lonely = nullptr;
        for (const FeatureRecord& f : v.features()) {
            if (withBundle && !v.usedFeatures().contains(f.index))
                continue;
            bool alone = f.x > 8 && f.y > 8 && f.x < 630 && f.y < 470;
            for (const FeatureRecord& g : v.features())
                alone = alone && (g.index == f.index || std::hypot(g.x - f.x, g.y - f.y) > 10);
            if (alone) {
                lonely = &f;
                break;
            }
        }
        QVERIFY(lonely);
        const QVector<QPoint> red = painted(overlay, clean, int(lonely->x), int(lonely->y), qRgb(255, 0, 0));
        const QVector<QPoint> white =
            painted(overlay, clean, int(lonely->x), int(lonely->y), qRgb(255, 255, 255));
        QVERIFY(!red.isEmpty());
        QCOMPARE(white.isEmpty(), !withBundle);
        QRect ring;
        for (const QPoint& p : red)
            ring |= QRect(p, QSize(1, 1));
        for (const QPoint& p : white)
            QVERIFY(ring.adjusted(1, 1, -1, -1).contains(p));
    }

    void undecodableImageSaysSo()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("broken.jpg");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a JPEG at all");
        f.close();
        MyListWidget list;
        list.addImages({path});
        ImageViewer v(path, &list, m_scene.get(), nullptr);
        QVERIFY(!v.hasImage());
        QVERIFY2(v.imageLabel()->text().contains("Cannot show " + path), qPrintable(v.imageLabel()->text()));
        QVERIFY(!v.action("&Zoom in 25%")->isEnabled());
        v.action("&Display Feature Data")->trigger(); // nothing to draw on, nothing breaks
        v.rotateLeftClicked();
        QCOMPARE(v.rotation(), 0);
    }

    // A photograph whose XML lacks a value shows an empty field, not the
    // previous photograph's; without a creation date (exiftool writes none on
    // Linux) the time stamp is the moment of exposure; after deleting the
    // shown photograph the overlay names the next one.
    void exifOverlayShowsNoStaleValues()
    {
        Photos photos(3);
        QFile bare(ExifScript::xmlPath(photos.paths[1]));
        QVERIFY(bare.open(QIODevice::WriteOnly));
        bare.write("<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                   "xmlns:ExifIFD='http://ns.exiftool.org/EXIF/ExifIFD/1.0/'><ExifIFD:DateTimeOriginal>"
                   "2024:05:01 10:00:00</ExifIFD:DateTimeOriginal></rdf:Description></rdf:RDF>");
        bare.close();
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        v.action("&Display Exif")->trigger();
        QVERIFY(v.exifLabel()->text().contains("Make: Testcam"));
        v.action("&next image")->trigger();
        v.action("&Display Exif")->trigger();
        QVERIFY2(v.exifLabel()->text().contains("Name: photo1.png</p><p>Make: </p><p>Model: </p>"),
                 qPrintable(v.exifLabel()->text()));
        QVERIFY(v.exifLabel()->text().contains("TimeStamp: 2024:05:01 10:00:00"));

        answer(v.confirmationBox(), QMessageBox::Ok);
        v.action("&delete the image")->trigger();
        QCOMPARE(v.fileName(), photos.paths[2]);
        QVERIFY2(v.exifLabel()->text().contains("Name: photo2.png</p><p>Make: Testcam"),
                 qPrintable(v.exifLabel()->text()));
    }

    // Under a window manager a maximised window is first shown at another
    // size; the fitted picture follows the viewport to the size it ends with.
    void fitFollowsTheWindowToItsFinalSize()
    {
        Photos photos(1);
        QImage(2000, 1500, QImage::Format_RGB32).save(photos.paths[0]);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.showNormal();
        QCoreApplication::processEvents(); // the state change is handled before the sizes arrive
        for (const QSize& size : {QSize(700, 560), QSize(790, 590)}) {
            v.resize(size);
            QTRY_COMPARE(v.size(), size);
            QCoreApplication::processEvents();
            const QSize viewport = v.scrollArea()->viewport()->size();
            QVERIFY(viewport.width() > 640);
            QTRY_COMPARE(v.scaleFactor(), std::min(viewport.width() / 2000.0, viewport.height() / 1500.0));
        }
        // Once the user zooms, the scale is the user's.
        v.zoomIn();
        const double chosen = v.scaleFactor();
        v.resize(720, 580);
        QTRY_COMPARE(v.size(), QSize(720, 580));
        QCOMPARE(v.scaleFactor(), chosen);
    }

    // Actual pixels show the middle of what was seen, also when the fitted
    // picture is narrower than the window and centred in it. The scroll bars
    // the full-size picture brings narrow the viewport only once the event
    // loop has run (at once on some platforms, later on X11): the middle
    // then moved by half their width. And the fitted picture is centred to
    // a whole screen pixel, so what was seen is known to one screen pixel of
    // the fitted picture, several pixels of the photo.
    void actualPixelsKeepTheMiddleOfACentredPicture()
    {
        Photos photos(1);
        QImage(4000, 3000, QImage::Format_RGB32).save(photos.paths[0]);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QSize viewport = v.scrollArea()->viewport()->size();
        QTRY_COMPARE(v.scaleFactor(), std::min(viewport.width() / 4000.0, viewport.height() / 3000.0));
        const QRect fitted = v.imageLabel()->geometry();
        QVERIFY(fitted.width() < viewport.width());
        // The photo's point at the middle of the viewport, at the label's own scale.
        const QPointF seen((viewport.width() / 2.0 - fitted.x()) * 4000.0 / fitted.width(),
                           (viewport.height() / 2.0 - fitted.y()) * 3000.0 / fitted.height());
        const double screenPixel = 4000.0 / fitted.width();
        QVERIFY2(std::abs(seen.x() - 2000) <= screenPixel && std::abs(seen.y() - 1500) <= screenPixel,
                 qPrintable(QString("%1, %2").arg(seen.x()).arg(seen.y())));
        QTest::keyPress(&v, Qt::Key_Z);
        QCOMPARE(v.imageLabel()->size(), QSize(4000, 3000));
        QCoreApplication::processEvents();
        const QSize zoomed = v.scrollArea()->viewport()->size();
        const QPointF middle = QPointF(zoomed.width() / 2.0, zoomed.height() / 2.0) - v.imageLabel()->pos();
        QVERIFY2(
            std::abs(middle.x() - seen.x()) <= 2 && std::abs(middle.y() - seen.y()) <= 2,
            qPrintable(
                QString("%1, %2 for %3, %4").arg(middle.x()).arg(middle.y()).arg(seen.x()).arg(seen.y())));
        QTest::keyRelease(&v, Qt::Key_Z);
    }

    void stepPastAnUnreadablePhotoClearsItsStatus()
    {
        Photos photos(2);
        QFile broken(photos.paths[0]);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
        broken.close();
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(v.statusBar()->currentMessage().startsWith("Cannot show"));
        v.action("&next image")->trigger();
        QVERIFY(v.hasImage());
        QCOMPARE(v.statusBar()->currentMessage(), QString());
    }

    void toggleToolBarShowsThePickMode()
    {
        Photos photos(1);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QAction* match = v.action("&Match Pixels");
        QAction* info = v.action("&Draw 2D feature");
        match->trigger();
        QCOMPARE(v.pickMode(), ImageViewer::PickMode::MatchPixels);
        info->trigger();
        QCOMPARE(v.pickMode(), ImageViewer::PickMode::FeatureInfo);
        QVERIFY(info->isChecked());
        QVERIFY(!match->isChecked());
        info->trigger();
        QCOMPARE(v.pickMode(), ImageViewer::PickMode::None);
    }

    // Picks in two viewers make one match, drawn blue in both; "Undo Selected
    // Point" takes the last one back; a release without a mode picks nothing.
    void picksInTwoViewersMakeAMatch()
    {
        Photos photos(2);
        ImageViewer a(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        ImageViewer b(photos.paths[1], &photos.list, m_scene.get(), nullptr);
        for (ImageViewer* v : {&a, &b}) {
            QVERIFY(QTest::qWaitForWindowExposed(v));
            v->normalSize();
            v->action("&Display Feature Data")->trigger();
            connect(v, &ImageViewer::repaintImageViewers, &a, &ImageViewer::redrawFeatureOverlay);
            connect(v, &ImageViewer::repaintImageViewers, &b, &ImageViewer::redrawFeatureOverlay);
        }
        const ImageSelection& s = m_scene->imageMatches()->selection();
        QTest::mousePress(a.imageLabel(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseRelease(a.imageLabel(), Qt::LeftButton, {}, QPoint(30, 60));
        QVERIFY(s.matches().isEmpty());

        a.action("&Match Pixels")->trigger();
        b.action("&Match Pixels")->trigger();
        QTest::mousePress(a.imageLabel(), Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseRelease(a.imageLabel(), Qt::LeftButton, {}, QPoint(30, 60));
        const QPoint inA = a.loupeOrigin() + QPoint(10, 20);
        QCOMPARE(shown(a).pixelColor(inA), QColor(Qt::yellow)); // one pick, left button: inner ring
        QTest::mousePress(b.imageLabel(), Qt::RightButton, {}, QPoint(200, 150));
        QTest::mouseRelease(b.imageLabel(), Qt::RightButton, {}, QPoint(30, 60));
        const QPoint inB = b.loupeOrigin() + QPoint(10, 20);
        QCOMPARE(s.matches().size(), 1);
        QCOMPARE(s.matches()[0][1].type, 1);
        QCOMPARE(shown(a).pixelColor(inA), QColor(Qt::blue));
        QCOMPARE(shown(b).pixelColor(inB), QColor(Qt::blue));

        b.action("Undo Selected Point")->trigger();
        QCOMPARE(s.matches()[0].size(), 1);
        QCOMPARE(shown(a).pixelColor(inA), QColor(Qt::yellow));
        QVERIFY(shown(b).pixelColor(inB) != QColor(Qt::blue));
    }

    // Imported observations and picks were not drawn: each control point
    // seen in the photo is marked with its name, the selected one in its own
    // colour, at its place whatever the zoom.
    void controlPointsAreDrawnInTheirPhotos()
    {
        Photos photos(2);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.normalSize();
        ControlPoint t1, t2;
        t1.name = "T1";
        t1.observations = {{"PHOTO0.png", 200.5, 150.5}};
        t2.name = "T2";
        t2.observations = {{"photo1.png", 100, 100}};
        v.setControlPoints({t1, t2}, "T1");
        QCOMPARE(v.imageLabel()->marks().size(), 1);
        QCOMPARE(v.imageLabel()->marks()[0].name, QString("T1"));
        const QColor selected(255, 40, 200), other(0, 230, 255);
        QCOMPARE(v.imageLabel()->grab().toImage().pixelColor(200, 150), selected);

        v.setControlPoints({t1, t2}, "T2");
        QCOMPARE(v.imageLabel()->grab().toImage().pixelColor(200, 150), other);
        v.zoomIn();
        const QImage zoomed = v.imageLabel()->grab().toImage();
        QCOMPARE(zoomed.pixelColor(250, 188), other);
        QVERIFY(zoomed.pixelColor(200, 150) != other);

        // A target found but not yet accepted: a ring of its own colour, apart from the observations.
        v.normalSize();
        ControlPoint found;
        found.name = "T2";
        found.observations = {{"photo0.png", 300.5, 200.5}, {"photo1.png", 10, 10}};
        v.setTargetCandidates({found});
        QCOMPARE(v.imageLabel()->marks().size(), 2);
        QVERIFY(v.imageLabel()->marks()[1].candidate && !v.imageLabel()->marks()[0].candidate);
        const QImage ringed = v.imageLabel()->grab().toImage();
        const QColor candidate(255, 160, 0);
        QCOMPARE(ringed.pixelColor(306, 200), candidate);
        QVERIFY(ringed.pixelColor(300, 200) != candidate);
        QCOMPARE(ringed.pixelColor(200, 150), other);
        v.setTargetCandidates({});
        QCOMPARE(v.imageLabel()->marks().size(), 1);
    }

    // F11 takes the picture alone to the screen; it steps there by itself and
    // comes back into the viewer with the image it ended on.
    void f11ShowsThePictureAloneAndComesBack()
    {
        Photos photos(3);
        ImageViewer v(photos.paths[0], &photos.list, m_scene.get(), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QTest::keyClick(&v, Qt::Key_F11);
        ImageLabel* label = v.imageLabel();
        QVERIFY(label->isFullScreenMode());
        QVERIFY(label->isWindow());
        QVERIFY(!label->hasScaledContents());
        QVERIFY(QTest::qWaitForWindowActive(label));
        QTest::keyClick(label, Qt::Key_Period);
        QTest::keyClick(label, Qt::Key_Period);
        QCOMPARE(label->fileName(), photos.paths[2]);
        QTest::keyClick(label, Qt::Key_F11);
        QVERIFY(!label->isWindow());
        QCOMPARE(v.scrollArea()->widget(), label);
        QCOMPARE(v.fileName(), photos.paths[2]);
        QCOMPARE(v.windowTitle(), QString("photo2.png"));
    }

private:
    std::unique_ptr<OsgWidget> m_scene;
};

QTEST_MAIN(TestImageViewer)
#include "tst_imageviewer.moc"
