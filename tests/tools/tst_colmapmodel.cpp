#include <QtTest>

#include <cmath>
#include <sstream>

#include "CameraIntrinsics.h"
#include "ColmapModel.h"
#include "ToolTestSupport.h"

namespace
{

// A small model as `colmap model_converter --output_type TXT` writes it.
const std::string cameras = "# Camera list with one line of data per camera:\n"
                            "1 SIMPLE_RADIAL 4000 3000 3500.5 2000 1500 -0.05\n";
const std::string images = "# Image list with two lines of data per image:\n"
                           "1 1 0 0 0 0.5 -0.25 2 1 IMG_0001.JPG\n"
                           "100.5 200.25 1 300 400 -1\n"
                           "2 0.9998 0.02 0 0 1.5 0 2 1 IMG_0002.JPG\n"
                           "110 210 1\n";
const std::string points = "1 0.1 0.2 5.5 255 128 0 0.5 1 0 2 0\n";

std::string replaced(std::string text, const std::string& what, const std::string& with)
{
    text.replace(text.find(what), what.size(), with);
    return text;
}

} // namespace

// The COLMAP model our SfM tools read back, and the intrinsics file made
// from it for the dense tools.
class TestColmapModel : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    bool readModel(const std::string& c, const std::string& i, const std::string& p, ColmapModel& model,
                   std::string& error)
    {
        ToolTest::writeText(m_dir.filePath("cameras.txt"), c);
        ToolTest::writeText(m_dir.filePath("images.txt"), i);
        ToolTest::writeText(m_dir.filePath("points3D.txt"), p);
        return model.readFolder(m_dir.path().toStdString(), &error);
    }

private slots:
    void readsAModel()
    {
        ColmapModel model;
        std::string error;
        QVERIFY2(readModel(cameras, replaced(images, "IMG_0001.JPG", "Grabung Sued/IMG 0001.JPG\r"), points,
                           model, error),
                 error.c_str());
        // COLMAP ends the line with the name, which may hold blanks.
        QCOMPARE(model.images.at(1).name, std::string("Grabung Sued/IMG 0001.JPG"));
        QCOMPARE(model.images.at(1).observations.size(), size_t(2));
        QCOMPARE(model.images.at(1).observations[1].point, -1LL);
        QCOMPARE(model.cameras.at(1).fx, 3500.5);
        const NvmFile::Model nvm = model.toNvm([](const std::string& name) { return name; });
        QCOMPARE(nvm.cameras.size(), size_t(2));
        QVERIFY(std::isfinite(nvm.cameras[0].radial) && nvm.cameras[0].radial > 0);
        QCOMPARE(nvm.points.size(), size_t(1));
    }

    // Each of these was read as something else (a NaN radial in the NVM, a
    // focal length of 0, an identity rotation, observations cut short,
    // shifted columns) or accepted as it stood.
    void damagedModelsAreRefusedWithTheReason_data()
    {
        QTest::addColumn<QString>("file"); // which file the change goes to
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("reason");
        const QString camera = "1 SIMPLE_RADIAL 4000 3000 3500.5 2000 1500 -0.05";
        QTest::newRow("distortion beyond the NVM's radial")
            << "cameras" << camera << "1 SIMPLE_RADIAL 4000 3000 3500.5 2000 1500 1e200"
            << "cameras.txt line 2: the distortion (k1, k2) is too strong";
        QTest::newRow("no size, no focal length") << "cameras" << camera << "1 SIMPLE_RADIAL -1 0 0 0 0 0"
                                                  << "cameras.txt line 2: the photo's size must be";
        QTest::newRow("focal length 0") << "cameras" << camera << "1 SIMPLE_RADIAL 4000 3000 0 2000 1500 0"
                                        << "cameras.txt line 2: both focal lengths must be positive";
        QTest::newRow("two points in a number")
            << "cameras" << camera << "1 PINHOLE 4000 3000 3500.5.25 3500 2000 1500"
            << "cameras.txt line 2: parameter \"3500.5.25\" is not a finite number";
        QTest::newRow("fractional height") << "cameras" << camera << "1 SIMPLE_PINHOLE 4000 3000.5 3500 2000"
                                           << "cameras.txt line 2: the size \"4000\" x \"3000.5\" is not";
        QTest::newRow("principal point far outside")
            << "cameras" << camera << "1 SIMPLE_RADIAL 4000 3000 3500.5 1e300 1500 0"
            << "cameras.txt line 2: the principal point lies far outside the photo";
        QTest::newRow("zero quaternion") << "images"
                                         << "1 1 0 0 0 0.5"
                                         << "1 0 0 0 0 0.5"
                                         << "images.txt line 2: the quaternion has no length";
        QTest::newRow("nan in the observations")
            << "images"
            << "1 300 400 -1"
            << "1 nan 400 -1"
            << "images.txt line 3: observation 1: \"nan\" is not a finite";
        QTest::newRow("observation cut short") << "images"
                                               << "110 210 1"
                                               << "110 210"
                                               << "images.txt line 5: observations come as X Y POINT3D_ID";
        QTest::newRow("unknown camera") << "images"
                                        << "2 1 IMG_0002"
                                        << "2 7 IMG_0002"
                                        << "images.txt line 4: camera 7 is not in cameras.txt";
        QTest::newRow("half a track element") << "points"
                                              << "1 0 2 0"
                                              << "1 0 2"
                                              << "points3D.txt line 1: a point needs";
        QTest::newRow("colour beyond a byte") << "points"
                                              << "255 128"
                                              << "256 128"
                                              << "points3D.txt line 1: the colour \"256\"";
    }
    void damagedModelsAreRefusedWithTheReason()
    {
        QFETCH(QString, file);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, reason);
        std::string c = cameras, i = images, p = points;
        std::string& target = file == "cameras" ? c : file == "images" ? i : p;
        target = replaced(target, from.toStdString(), to.toStdString());
        ColmapModel model;
        std::string error;
        QVERIFY(!readModel(c, i, p, model, error));
        const std::string expected = m_dir.path().toStdString() + "/" + reason.toStdString();
        QVERIFY2(error.rfind(expected, 0) == 0, error.c_str());
    }

    // The dense tools' intrinsics file: a stream read parts of a word and
    // left the rest to the next column ("3500.5.25" gave fx 3500.5 and fy
    // 0.25, a height of 3000.5 gave 3000 and fx 0.5).
    void damagedIntrinsicsAreRefusedWithTheReason_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("two points in a number") << "4000 3000 3500.5.25 3500 2000 1500 0 0 a.jpg"
                                                << "line 3: \"3500.5.25\" is not a finite number";
        QTest::newRow("fractional height")
            << "4000 3000.5 3500 3500 2000 1500 0 0 a.jpg"
            << "line 3: the size \"4000\" x \"3000.5\" is not two whole numbers";
        QTest::newRow("principal point far outside") << "4000 3000 3500 3500 1e300 1500 0 0 a.jpg"
                                                     << "line 3: the principal point lies far outside";
        QTest::newRow("distortion beyond the NVM's radial")
            << "4000 3000 3500 3500 2000 1500 1e200 0 a.jpg"
            << "line 3: the distortion (k1, k2) is too strong";
        QTest::newRow("no size") << "-1 0 0 0 0 0 0 0 a.jpg"
                                 << "line 3: the photo's size must be";
        QTest::newRow("too few values") << "4000 3000 3500 3500 2000 1500 0"
                                        << "line 3: a camera needs";
    }
    void damagedIntrinsicsAreRefusedWithTheReason()
    {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        std::istringstream in("# Camera intrinsics v1\n1\n" + line.toStdString() + "\n");
        CameraIntrinsics intrinsics;
        std::string error;
        QVERIFY(!intrinsics.read(in, &error));
        QVERIFY2(error.rfind(reason.toStdString(), 0) == 0, error.c_str());
    }

    void intrinsicsReadBackExactlyWithBlanksInTheName()
    {
        CameraIntrinsics written;
        CameraIntrinsics::Camera c;
        c.width = 4000;
        c.height = 3000;
        c.fx = 3500.123456789;
        c.fy = 3499.987654321;
        c.cx = 1999.5 + 1e-9;
        c.cy = 1499.5;
        c.k1 = -0.0512345;
        c.k2 = 0.001;
        c.image = "Grabung Sued/IMG 0001.JPG";
        written.cameras = {c};
        const std::string path = m_dir.filePath("sparse-intrinsics.txt").toStdString();
        std::string error;
        QVERIFY2(written.writeFile(path, &error), error.c_str());
        CameraIntrinsics back;
        QVERIFY2(back.readFile(path, &error), error.c_str());
        QCOMPARE(back.cameras.size(), size_t(1));
        const auto& b = back.cameras[0];
        QCOMPARE(b.image, c.image);
        QVERIFY(b.fx == c.fx && b.fy == c.fy && b.cx == c.cx && b.cy == c.cy && b.k1 == c.k1 && b.k2 == c.k2);
        // What the reader refuses is not written in the first place.
        written.cameras[0].k1 = 1e200;
        QVERIFY(!written.writeFile(path, &error));
        QVERIFY2(error.find("too strong") != std::string::npos, error.c_str());
    }
};

QTEST_GUILESS_MAIN(TestColmapModel)
#include "tst_colmapmodel.moc"
