#include <QtTest>

#include <QAction>
#include <QDockWidget>
#include <QListWidget>
#include <QTemporaryDir>

#include "core/images/ExifScript.h"
#include "ui/images/ImageLabel.h"
#include "scene/images/ImageMatchScene.h"
#include "ui/images/ImageViewer.h"
#include "ui/images/ImageViewers.h"
#include "ui/main/MainWindow.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"

namespace
{

QStringList writePhotos(const QTemporaryDir& dir, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(QColor(30 * i, 100, 100));
        paths << dir.filePath(QStringLiteral("site%1.png").arg(i));
        image.save(paths.last());
        QFile xml(ExifScript::xmlPath(paths.last()));
        xml.open(QIODevice::WriteOnly);
        xml.write("<rdf:RDF><rdf:Description><Make>Testcam</Make></rdf:Description></rdf:RDF>");
    }
    return paths;
}

ImagePick pick(const QString& image, int x, int y, const QString& folder = QString())
{
    ImagePick p;
    p.imageName = image;
    p.cameraIndex = 0;
    p.reconstructionFolder = folder;
    p.x = x;
    p.y = y;
    return p;
}

} // namespace

// The main window opens the viewers from the image list and relays between them.
class TestImageViewers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void clickingAnImageOpensOneViewerForIt()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.imageList()->addImages(writePhotos(dir, 2));
        w.dock("Images View")->show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QListWidget* list = w.imageList();
        auto click = [list](int row) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        };
        click(1);
        QCOMPARE(w.imageViewers()->viewers().size(), 1);
        ImageViewer* first = w.imageViewers()->viewers()[0];
        QCOMPARE(first->fileName(), dir.filePath("site1.png"));
        QCOMPARE(first->windowTitle(), QString("site1.png"));
        click(1);
        QCOMPARE(w.imageViewers()->viewers().size(), 1);
        QVERIFY(first->isFullScreen());
        click(0);
        QCOMPARE(w.imageViewers()->viewers().size(), 2);
    }

    // Two photographs of one name from two folders: each row opens its own,
    // and the viewer steps from one to the other.
    void rowsOfOneNameOpenTheirOwnPhotos()
    {
        QTemporaryDir day1, day2;
        const QString first = writePhotos(day1, 1)[0];
        const QString second = writePhotos(day2, 1)[0]; // site0.png as well
        MainWindow w;
        w.imageList()->addImages({first});
        w.imageList()->addImages({second});
        w.dock("Images View")->show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QListWidget* list = w.imageList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(w.imageViewers()->viewers().size(), 1);
        ImageViewer* viewer = w.imageViewers()->viewers()[0];
        QCOMPARE(viewer->fileName(), first);
        viewer->action("&next image")->trigger();
        QCOMPARE(viewer->fileName(), second);
        viewer->action("&next image")->trigger();
        QCOMPARE(viewer->fileName(), first);
    }

    void pOnTheImageListOpensTheFirstImage()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.imageList()->addImages(writePhotos(dir, 2));
        QTest::keyClick(w.imageList(), Qt::Key_P);
        QCOMPARE(w.imageViewers()->viewers().size(), 1);
        QCOMPARE(w.imageViewers()->viewers()[0]->fileName(), dir.filePath("site0.png"));
    }

    void closingOneOfTwoViewersRedrawsTheOther()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.imageList()->addImages(writePhotos(dir, 2));
        ImageViewer* a = w.imageViewers()->load(w.imageList()->item(0));
        ImageViewer* b = w.imageViewers()->load(w.imageList()->item(1));
        a->toggleSparseOverlay();
        b->toggleSparseOverlay();
        w.sceneView()->imageMatches()->selection().pick(pick("site1.png", 40, 50), false);
        QVERIFY(b->basePixmap().toImage().pixelColor(40, 50) != QColor(Qt::yellow));
        a->close();
        QCOMPARE(w.imageViewers()->viewers(), QList<ImageViewer*>{b});
        QCOMPARE(b->basePixmap().toImage().pixelColor(40, 50), QColor(Qt::yellow));
    }

    // While a match waits for its second pick, pressing in another viewer
    // shows the first pick under the loupe of its own viewer until the release.
    void viewersFollowTheOpenPick()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.imageList()->addImages(writePhotos(dir, 2));
        ImageViewer* a = w.imageViewers()->load(w.imageList()->item(0));
        ImageViewer* b = w.imageViewers()->load(w.imageList()->item(1));
        QVERIFY(QTest::qWaitForWindowExposed(b));
        w.sceneView()->imageMatches()->selection().pick(pick("site0.png", 200, 150), false);
        QTest::mousePress(b->imageLabel(), Qt::LeftButton, {}, QPoint(50, 50));
        QVERIFY(a->isFollowingSelection());
        QCOMPARE(a->loupeOrigin(), QPoint(int(200 - 400 / 6.0), int(150 - 300 / 6.0)));
        QTest::mouseRelease(b->imageLabel(), Qt::LeftButton, {}, QPoint(30, 60));
        QVERIFY(!a->isFollowingSelection());
        QVERIFY(!b->isFollowingSelection());
    }

    void popupOpensTheImageTheSceneNames()
    {
        QTemporaryDir dir;
        writePhotos(dir, 1);
        MainWindow w;
        w.sceneView()->setImageFolder(dir.path() + "/");
        w.sceneView()->imageMatches()->setPopupImage("site0.png");
        w.showPopupWin();
        QCOMPARE(w.imageList()->count(), 1);
        QCOMPARE(w.imageViewers()->viewers().size(), 1);
        QCOMPARE(w.imageViewers()->viewers()[0]->fileName(), dir.filePath("site0.png"));
    }

    // A triangulation that cannot run says why in the log view and adds no
    // point (at 0, 0, 0 or anywhere) and no file.
    void extractWithoutTheToolSaysWhy()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.sceneView()->setImageFolder(dir.path() + "/");
        ImageSelection& s = w.sceneView()->imageMatches()->selection();
        s.pick(pick("a.jpg", 10, 10, dir.path() + "/"), false);
        s.pick(pick("b.jpg", 12, 12, dir.path() + "/"), false);
        const unsigned children = w.sceneView()->getRoot()->getNumChildren();
        w.receiveExtractCommand();
        QStringList log;
        for (int i = 0; i < w.logList()->count(); ++i)
            log << w.logList()->item(i)->text();
        QVERIFY2(log.filter("Match 1 (a.jpg and b.jpg) gave no point").size() == 1,
                 qPrintable(log.join('\n')));
        QVERIFY(log.filter("Nothing extracted").size() == 1);
        QCOMPARE(w.sceneView()->getRoot()->getNumChildren(), children);
        QCOMPARE(s.matches().size(), 1);
        QVERIFY(QDir(dir.path()).entryList({"lispOutput_*", "newFeatures_*"}).isEmpty());
    }
};

QTEST_MAIN(TestImageViewers)
#include "tst_imageviewers.moc"
