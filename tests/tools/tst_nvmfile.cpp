#include <QtTest>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "NvmToBundler.h"
#include "common/geometry/RadialDistortion.h"
#include "SharedData.h"
#include "ToolTestSupport.h"
#include "common/formats/NvmFile.h"
#include "common/geometry/Rotation.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"

namespace
{

double median(std::vector<double> v)
{
    if (v.empty())
        return 1e9;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Distances between the NVM's measurements and the projections of their
// points by the camera model NvmFile documents.
std::vector<double> nvmResiduals(const NvmFile::Model& m)
{
    std::vector<double> residuals;
    for (const auto& p : m.points)
        for (const auto& v : p.measurements) {
            const auto& c = m.cameras[size_t(v.camera)];
            const auto R = c.rotation();
            double P[3];
            for (int r = 0; r < 3; ++r)
                P[r] = R[3 * r] * (p.position[0] - c.centre[0]) +
                       R[3 * r + 1] * (p.position[1] - c.centre[1]) +
                       R[3 * r + 2] * (p.position[2] - c.centre[2]);
            const double s = 1 + c.radial * (v.x * v.x + v.y * v.y) / (c.focal * c.focal);
            residuals.push_back(std::hypot(c.focal * P[0] / P[2] - v.x * s, c.focal * P[1] / P[2] - v.y * s));
        }
    return residuals;
}

} // namespace

class TestNvmFile : public QObject
{
    Q_OBJECT
private slots:
    void readsVisualSfmFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("models");
        QTest::addColumn<int>("cameras");
        QTest::addColumn<int>("points");
        QTest::newRow("no end marker") << "nvm/sceaux_castle_vsfm.nvm" << 1 << 11 << 7817;
        QTest::newRow("CRLF and tabs") << "nvm/khoa_dense_crlf_vsfm.nvm" << 1 << 6 << 1941;
        QTest::newRow("two models") << "nvm/multimodel_vsfm.nvm" << 2 << 2 << 14;
    }
    void readsVisualSfmFiles()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, file);
        QFETCH(int, models);
        QFETCH(int, cameras);
        QFETCH(int, points);
        NvmFile nvm;
        std::string error;
        QVERIFY2(nvm.readFile(SharedData::path(file).toStdString(), &error), error.c_str());
        QCOMPARE(int(nvm.models.size()), models);
        QCOMPARE(int(nvm.models[0].cameras.size()), cameras);
        QCOMPARE(int(nvm.models[0].points.size()), points);
    }

    // VisualSfM's own result (with its radial distortion): the measurements
    // are where the documented camera model puts the points.
    void cameraModelFitsVisualSfmMeasurements()
    {
        REQUIRE_SHARED_DATA();
        NvmFile nvm;
        QVERIFY(nvm.readFile(SharedData::path("nvm/pic22_vsfm_linux.nvm").toStdString()));
        const double m = median(nvmResiduals(nvm.models[0]));
        QVERIFY2(m < 1.0, qPrintable(QString::number(m)));
    }

    // The PBA driver's Bundler cameras put the points on the same image
    // positions (Bundler measures y upwards).
    void bundlerConversionKeepsTheProjections()
    {
        REQUIRE_SHARED_DATA();
        NvmFile nvm;
        QVERIFY(nvm.readFile(SharedData::path("nvm/pic22_vsfm_linux.nvm").toStdString()));
        ImageListFile list;
        const BundlerFile bundle = NvmToBundler::convert(nvm.models[0], "/site", list);
        QCOMPARE(bundle.cameras.size(), size_t(22));
        QCOMPARE(QString::fromStdString(list.entries[0].image).left(10), QStringLiteral("\\site\\PIC_"));
        const double m = ToolTest::medianProjectionError(bundle);
        QVERIFY2(m < 1.0, qPrintable(QString::number(m)));
    }

    void radialConversionsInvertEachOther_data()
    {
        QTest::addColumn<double>("k1");
        QTest::addColumn<double>("k2");
        QTest::newRow("barrel") << -0.2 << 0.05;
        QTest::newRow("pincushion") << 0.1 << 0.0;
        QTest::newRow("none") << 0.0 << 0.0;
    }
    void radialConversionsInvertEachOther()
    {
        QFETCH(double, k1);
        QFETCH(double, k2);
        const double reach = 0.6;
        const double r = RadialDistortion::nvmFromProjection(k1, k2, reach);
        double b1 = 0, b2 = 0;
        RadialDistortion::projectionFromNvm(r, reach, b1, b2);
        // Distort with (k1, k2), undistort with r, distort again with (b1, b2): back within 0.2% of the
        // radius.
        for (double u = 0.05; u <= reach; u += 0.05) {
            const double d = u * (1 + k1 * u * u + k2 * u * u * u * u);
            const double back = d * (1 + r * d * d);
            QVERIFY2(std::abs(back - u) < 2e-3 * reach, qPrintable(QString::number(back - u)));
            const double again = back * (1 + b1 * back * back + b2 * back * back * back * back);
            QVERIFY(std::abs(again - d) < 2e-3 * reach);
        }
    }

    // Our sparse.nvm goes to the workbench's reader: every value as written.
    void workbenchReaderTakesWhatWeWrite()
    {
        NvmFile nvm;
        NvmFile::Model m;
        m.cameras = {
            {"kermit000.jpg", 660.5, {1, 0, 0, 0}, {0.125, -2, 3}, -0.01},
            {"kermit001.jpg", 661.25, Rotation::quaternionOf({0, -1, 0, 1, 0, 0, 0, 0, 1}), {1, 0, 0}, 0}};
        m.points = {{{1, 2, 10}, {255, 128, 0}, {{0, 17, -3.5, 2.25}, {1, 4, 0.5, 0}}},
                    {{-1, 0.5, 12}, {0, 0, 0}, {{1, 0, 10, 20}}}};
        nvm.models.push_back(m);
        QTemporaryDir dir;
        const std::string path = dir.filePath("sparse.nvm").toStdString();
        QVERIFY(nvm.writeFile(path));

        SparseBundle bundle;
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string folder;
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        const bool ok = NvmReader::readNvm(path, vertices, colours, bundle, folder);
        std::cout.rdbuf(old);
        QVERIFY(ok);
        QCOMPARE(bundle.bundleCameras.size(), size_t(1));
        const auto& cams = bundle.bundleCameras[0];
        QCOMPARE(cams.size(), size_t(2));
        QCOMPARE(QString::fromStdString(cams[1]->name), QStringLiteral("kermit001.jpg"));
        QCOMPARE(QString::fromStdString(cams[0]->path), dir.filePath("kermit000.jpg"));
        QCOMPARE(cams[1]->focalLength, 661.25);
        QCOMPARE(cams[0]->centre.x(), 0.125f);
        QCOMPARE(vertices[0]->size(), 2u);
        QCOMPARE(cams[0]->views.size(), size_t(1));
        QCOMPARE(cams[0]->views[0]->featureIndex, 17.0);
        // The 90 degree turn about z survives the quaternion (stored x, y, z, w).
        QVERIFY(std::abs(std::abs(cams[1]->rotation[2]) - std::sqrt(0.5)) < 1e-6);

        NvmFile back;
        QVERIFY(back.readFile(path));
        QCOMPARE(back.models[0].cameras[0].radial, -0.01);
        QCOMPARE(back.models[0].points[0].measurements[0].x, -3.5);
    }

    // Survey coordinates pass through our tools unchanged: written as the
    // shortest text that reads back as the same double, not 17 digits that
    // turn 712345.674 into 712345.67399999999.
    void surveyCoordinatesReadBackBitForBit()
    {
        const double east = 712345.674, north = 4123456.781, third = 0.1 + 0.2;
        NvmFile nvm;
        NvmFile::Model m;
        m.cameras = {{"a.jpg", 3650.5, {1, 0, 0, 0}, {east, north, 95.25}, third}};
        m.points = {{{east, north, third}, {1, 2, 3}, {{0, 5, -1e-7, 1234.5}}}};
        nvm.models.push_back(m);
        std::ostringstream text;
        nvm.write(text);
        QVERIFY2(text.str().find(" 712345.674 4123456.781 95.25 0.30000000000000004 0\n") !=
                     std::string::npos,
                 text.str().c_str());
        std::istringstream in(text.str());
        NvmFile back;
        QVERIFY(back.read(in));
        const NvmFile::Camera& c = back.models.at(0).cameras.at(0);
        const NvmFile::Point& p = back.models.at(0).points.at(0);
        QVERIFY(c.centre == m.cameras[0].centre && c.radial == third);
        QVERIFY(p.position == m.points[0].position);
        QCOMPARE(p.measurements.at(0).x, -1e-7);
    }

    void damagedNvmIsRefusedWithTheLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const QString cam = "a.jpg 500 1 0 0 0 0 0 0 0 0\n";
        QTest::newRow("not NVM") << "PLY\n"
                                 << "NVM_V3";
        QTest::newRow("camera count word") << "NVM_V3\n\nmany\n"
                                           << "line 3";
        QTest::newRow("huge camera count") << "NVM_V3\n\n999999999\n" + cam << "larger";
        QTest::newRow("short camera") << "NVM_V3\n\n1\na.jpg 500 1 0\n"
                                      << "camera (line 4)";
        QTest::newRow("missing camera") << "NVM_V3\n\n2\n" + cam << "camera line";
        QTest::newRow("view of a missing camera") << "NVM_V3\n\n1\n" + cam + "\n1\n0 0 0 1 2 3 1 4 0 1 1\n"
                                                  << "camera 4";
        QTest::newRow("truncated views") << "NVM_V3\n\n1\n" + cam + "\n1\n0 0 0 1 2 3 1 0 0\n"
                                         << "line 7";
    }
    // A pipe gives no size to check a count against: records are taken as
    // they arrive, so a count of 2^40 ends with the data, not in bad_alloc.
    void hugeCountsOnAPipeEndWithTheData_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cameras") << "NVM_V3\n\n10000000000\na.jpg 500 1 0 0 0 0 0 0 0 0\n"
                                 << "missing camera line";
        QTest::newRow("points") << "NVM_V3\n\n1\na.jpg 500 1 0 0 0 0 0 0 0 0\n10000000000\n"
                                << "missing point line";
    }
    void hugeCountsOnAPipeEndWithTheData()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        ToolTest::PipeBuffer pipe(text.toStdString());
        std::istream in(&pipe);
        NvmFile nvm;
        std::string error;
        QVERIFY(!nvm.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void damagedNvmIsRefusedWithTheLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::istringstream in(text.toStdString());
        NvmFile nvm;
        std::string error;
        QVERIFY(!nvm.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }
};

QTEST_GUILESS_MAIN(TestNvmFile)
#include "tst_nvmfile.moc"
