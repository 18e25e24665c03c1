#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <fstream>
#include <sstream>

#include "BundleUndistorter.h"
#include "CameraIntrinsics.h"
#include "DenseSource.h"
#include "NvmToBundler.h"

// The NVM's conversion for the dense tools, where "Fit to Control Points"
// left the adjusted lens beside the NVM (sparse-intrinsics.txt): the dense
// cameras take that lens, not the NVM's one-term approximation of it.
class TestNvmToBundler : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }

    // Two photos of 60 x 40 pixels looking down at one point.
    void writeReconstruction()
    {
        std::ofstream(path("sparse.nvm")) << "NVM_V3\n\n2\n"
                                             "a.jpg 50 1 0 0 0 0 0 -10 0.01 0\n"
                                             "b.jpg 50 1 0 0 0 1 0 -10 0.01 0\n"
                                             "1\n0.5 0.2 0 200 100 50 2 0 0 2.5 1 1 1 -2.5 1\n\n0\n";
        for (const char* name : {"a.jpg", "b.jpg"})
            QVERIFY(cv::imwrite(path(name), cv::Mat(40, 60, CV_8UC3, cv::Scalar(90, 120, 150))));
    }

    static CameraIntrinsics adjustedLens()
    {
        CameraIntrinsics lens;
        for (const char* name : {"a.jpg", "b.jpg"}) {
            CameraIntrinsics::Camera c;
            c.width = 60;
            c.height = 40;
            c.fx = c.fy = 50.125;
            c.cx = 29.7;
            c.cy = 19.2;
            c.k1 = -0.1;
            c.k2 = 0.05;
            c.image = name;
            lens.cameras.push_back(c);
        }
        return lens;
    }

    int convert(std::string& said)
    {
        std::ostringstream out, err;
        const int code = NvmToBundler::run({path("sparse.nvm"), "--convert_to_bout"}, out, err);
        said = out.str() + err.str();
        return code;
    }

private slots:
    void init()
    {
        QFile::remove(m_dir.filePath("sparse-intrinsics.txt"));
        QFile::remove(m_dir.filePath("sparse-converted-intrinsics.txt"));
        writeReconstruction();
    }

    void denseCamerasTakeTheAdjustedLens()
    {
        const CameraIntrinsics adjusted = adjustedLens();
        QVERIFY(adjusted.writeFile(path("sparse-intrinsics.txt")));
        std::string said;
        QCOMPARE(convert(said), 0);
        QVERIFY2(said.find("from " + path("sparse-intrinsics.txt")) != std::string::npos, said.c_str());

        // The preparation reads the converted bundle with the lens whole, to the bit.
        DenseSource source;
        std::string error;
        QVERIFY2(source.read(path("sparse-converted-list.txt"), path("sparse-converted.out"), &error),
                 error.c_str());
        CameraIntrinsics::Camera lens;
        QVERIFY2(source.lens(1, 60, 40, lens, &error), error.c_str());
        QCOMPARE(lens.k1, -0.1);
        QCOMPARE(lens.k2, 0.05);
        QCOMPARE(lens.fx, 50.125);
        QCOMPARE(lens.cx, 29.7);
        QCOMPARE(source.bundle.cameras[1].k2, 0.05);

        // And undistorts through it: a pixel the two-term lens shows an
        // ideal point at goes back to that ideal point.
        double u = 0, v = 0;
        lens.pixelOf(0.45, -0.3, u, v);
        double x = u - lens.cx, y = lens.cy - v;
        BundleUndistorter::undistortPoint(lens, x, y);
        QVERIFY2(std::abs(x - 0.45 * lens.fx) < 1e-6 && std::abs(y - 0.3 * lens.fy) < 1e-6,
                 qPrintable(QString("%1 %2").arg(x).arg(y)));
    }

    // A damaged lens file or one of other photos is not used, and the
    // conversion says why: the NVM's own term stands.
    void otherOrDamagedLensIsNotUsed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("why");
        QTest::newRow("damaged") << QByteArray("# Camera intrinsics v1\n2\n60 40 50 50 29.5 19.5 x 0 a.jpg\n")
                                 << "line 3: \"x\" is not a finite number";
        QTest::newRow("truncated") << QByteArray(
                                          "# Camera intrinsics v1\n2\n60 40 50 50 29.5 19.5 0 0 a.jpg\n")
                                   << "line 4: camera 1 is missing";
        std::ostringstream other;
        CameraIntrinsics lens = adjustedLens();
        lens.cameras[1].image = "c.jpg";
        lens.write(other);
        QTest::newRow("other photos") << QByteArray::fromStdString(other.str()) << "no camera for b.jpg";
    }

    void otherOrDamagedLensIsNotUsed()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, why);
        std::ofstream(path("sparse-intrinsics.txt")) << text.toStdString();
        std::string said;
        QCOMPARE(convert(said), 0);
        QVERIFY2(said.find(path("sparse-intrinsics.txt") + ": " + why.toStdString() +
                           " (the lens is not used)") != std::string::npos,
                 said.c_str());
        QVERIFY(!QFileInfo::exists(m_dir.filePath("sparse-converted-intrinsics.txt")));
        BundlerFile bundle;
        QVERIFY(bundle.readFile(path("sparse-converted.out")));
        QVERIFY(bundle.cameras[0].k1 < 0 && bundle.cameras[0].k1 != -0.1); // from the NVM's 0.01
    }
};

QTEST_GUILESS_MAIN(TestNvmToBundler)
#include "tst_nvmtobundler.moc"
