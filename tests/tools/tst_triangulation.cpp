#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <sstream>

#include "BundlerFile.h"
#include "SharedData.h"
#include "TriangulationCamera.h"
#include "TriangulationScene.h"
#include "TwoViewTriangulation.h"
#include "common/formats/NvmFile.h"

namespace
{

const QString tool = QStringLiteral(ORVALIS_APP_DIR "/SfM/Triangulate/RadialUndistort");

using Vec3 = std::array<double, 3>;

double distance(const Vec3& a, const Vec3& b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

double angleBetween(const Vec3& p, const Vec3& a, const Vec3& b)
{
    const Vec3 u{a[0] - p[0], a[1] - p[1], a[2] - p[2]}, v{b[0] - p[0], b[1] - p[1], b[2] - p[2]};
    const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    return std::acos(
        std::clamp(dot / (std::hypot(u[0], u[1], u[2]) * std::hypot(v[0], v[1], v[2])), -1.0, 1.0));
}

struct Pick {
    int camera = 0;
    double column = 0;
    double row = 0;
};

// A point of the reconstruction and two of its observations, as pixels from
// the top-left corner; the pair seen under the widest angle.
struct KnownPoint {
    Vec3 position{};
    Pick a, b;
    double pixelWorth = 0; // the distance one pixel covers at the point's depth in the first camera
};

KnownPoint widestBundlerPoint(const BundlerFile& bundle, int width, int height)
{
    KnownPoint best;
    double bestAngle = -1;
    for (const BundlerFile::Point& p : bundle.points) {
        for (size_t i = 0; i + 1 < p.views.size(); ++i) {
            const BundlerFile::View &va = p.views[i], &vb = p.views[i + 1];
            const BundlerFile::Camera &ca = bundle.cameras[size_t(va.camera)],
                                      &cb = bundle.cameras[size_t(vb.camera)];
            if (!ca.registered() || !cb.registered())
                continue;
            const double angle = angleBetween(p.position, ca.centre(), cb.centre());
            if (angle <= bestAngle)
                continue;
            bestAngle = angle;
            // Bundler measures from the image centre ((w-1)/2, (h-1)/2), y up.
            best.position = p.position;
            best.a = {va.camera, va.x + 0.5 * (width - 1), 0.5 * (height - 1) - va.y};
            best.b = {vb.camera, vb.x + 0.5 * (width - 1), 0.5 * (height - 1) - vb.y};
            best.pixelWorth = distance(p.position, ca.centre()) / ca.focal;
        }
    }
    return best;
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runTool(const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QStringList observationArgs(const Pick& a, const Pick& b)
{
    auto number = [](double v) { return QString::number(v, 'g', 17); };
    return {QString::number(a.camera), number(a.column), number(a.row),
            QString::number(b.camera), number(b.column), number(b.row)};
}

Vec3 parsePoint(const QByteArray& out)
{
    const QList<QByteArray> parts = out.trimmed().split(',');
    if (parts.size() != 3)
        return {NAN, NAN, NAN};
    return {parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble()};
}

const QString kermitBundle = QStringLiteral("bundler/kermit_runsfm_bundle.out");
// Absolute paths of the phone that made it: the images are found in the image folder by name.
const QString kermitList = QStringLiteral("bundler/kermit_runsfm_list.txt");

} // namespace

class TestTriangulation : public QObject
{
    Q_OBJECT
private slots:
    void removingBundlerDistortionInvertsIt()
    {
        TriangulationCamera camera;
        camera.focal = 700;
        camera.k1 = -0.12;
        camera.k2 = 0.04;
        camera.principalColumn = 319.5;
        camera.principalRow = 239.5;
        const double ideal[2] = {0.41, -0.27};
        const double r2 = ideal[0] * ideal[0] + ideal[1] * ideal[1];
        const double factor = 1 + camera.k1 * r2 + camera.k2 * r2 * r2;
        const auto p = camera.undistortedPoint(camera.principalColumn + camera.focal * ideal[0] * factor,
                                               camera.principalRow + camera.focal * ideal[1] * factor);
        QVERIFY(std::abs(p[0] - ideal[0]) < 1e-10);
        QVERIFY(std::abs(p[1] - ideal[1]) < 1e-10);
    }

    // The rays of two observations of a point of Bundler's own result meet
    // within a pixel's worth of distance of that point.
    void knownBundlerPointIsFound()
    {
        REQUIRE_SHARED_DATA();
        BundlerFile bundle;
        QVERIFY(bundle.readFile(SharedData::path(kermitBundle).toStdString()));
        const KnownPoint known = widestBundlerPoint(bundle, 640, 480);

        TriangulationScene scene;
        std::string error;
        QVERIFY2(scene.load(SharedData::path(kermitList).toStdString(),
                            SharedData::path(kermitBundle).toStdString(),
                            SharedData::path("images/kermit/").toStdString(), &error),
                 error.c_str());
        QCOMPARE(scene.source(), TriangulationScene::Source::Bundler);
        TriangulationCamera a, b;
        QVERIFY2(scene.camera(known.a.camera, a, &error), error.c_str());
        QVERIFY2(scene.camera(known.b.camera, b, &error), error.c_str());
        Vec3 point{};
        QVERIFY2(TwoViewTriangulation::triangulate({&a, known.a.column, known.a.row},
                                                   {&b, known.b.column, known.b.row}, point, &error),
                 error.c_str());
        const double off = distance(point, known.position);
        QVERIFY2(off < known.pixelWorth, qPrintable(QString("%1 > %2").arg(off).arg(known.pixelWorth)));
    }

    // Without the converted bundle the folder's sparse.nvm is used (VisualSfM's
    // castle: measurements in this file are pixels from the top-left corner).
    void nvmIsUsedWithoutTheConvertedBundle()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir folder;
        QVERIFY(QFile::copy(SharedData::path("nvm/sceaux_castle_vsfm.nvm"), folder.filePath("sparse.nvm")));
        QVERIFY(QFile::link(SharedData::path("images/sceaux_castle"), folder.filePath("images")));
        std::ifstream in(folder.filePath("sparse.nvm").toStdString());
        NvmFile nvm;
        QVERIFY(nvm.read(in, nullptr, NvmFile::Contents::FirstCameras));
        QCOMPARE(int(nvm.models.at(0).cameras.size()), 11);

        // The point list follows the cameras; take a point with two measurements far apart.
        std::string line;
        while (std::getline(in, line) && line.find_first_not_of(" \r\t") == std::string::npos) {
        }
        const int count = std::stoi(line);
        KnownPoint known;
        double bestAngle = -1;
        for (int j = 0; j < count && std::getline(in, line); ++j) {
            std::istringstream words(line);
            Vec3 p;
            int r, g, b, n;
            words >> p[0] >> p[1] >> p[2] >> r >> g >> b >> n;
            std::vector<Pick> picks(size_t(std::max(n, 0)));
            for (Pick& pick : picks) {
                int feature;
                words >> pick.camera >> feature >> pick.column >> pick.row;
            }
            for (size_t i = 1; i < picks.size(); ++i) {
                const double angle = angleBetween(p, nvm.models[0].cameras[size_t(picks[0].camera)].centre,
                                                  nvm.models[0].cameras[size_t(picks[i].camera)].centre);
                if (angle > bestAngle) {
                    bestAngle = angle;
                    known.position = p;
                    known.a = picks[0];
                    known.b = picks[i];
                    known.pixelWorth = distance(p, nvm.models[0].cameras[size_t(picks[0].camera)].centre) /
                                       nvm.models[0].cameras[size_t(picks[0].camera)].focal;
                }
            }
        }
        const Run run = runTool(QStringList{folder.filePath("sparse-converted-list.txt"),
                                            folder.filePath("sparse-converted.out"), folder.path() + "/"} +
                                observationArgs(known.a, known.b));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const double off = distance(parsePoint(run.out), known.position);
        QVERIFY2(off < known.pixelWorth, qPrintable(QString("%1 > %2").arg(off).arg(known.pixelWorth)));
    }

    // Two cameras 10 units in front of a point, side by side: rays closer to
    // parallel than a degree give no point rather than one anywhere along them.
    void nearlyParallelRaysAreRefused_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("0.1 degree") << 0.1 << false;
        QTest::newRow("0.9 degree") << 0.9 << false;
        QTest::newRow("3 degrees") << 3.0 << true;
    }
    void nearlyParallelRaysAreRefused()
    {
        QFETCH(double, degrees);
        QFETCH(bool, accepted);
        TriangulationCamera a, b;
        for (TriangulationCamera* c : {&a, &b}) {
            c->focal = 1000;
            c->principalColumn = c->principalRow = 500;
        }
        const double baseline = 10 * std::tan(degrees * M_PI / 180);
        b.translation = {-baseline, 0, 0}; // centre at (baseline, 0, 0)
        Vec3 point{};
        std::string error;
        const bool ok =
            TwoViewTriangulation::triangulate({&a, 500, 500}, {&b, 500 - 100 * baseline, 500}, point, &error);
        QCOMPARE(ok, accepted);
        if (accepted)
            QVERIFY(distance(point, {0, 0, 10}) < 1e-9);
        else
            QVERIFY2(error.find("less than the 1 a point needs") != std::string::npos, error.c_str());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("observations");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no reconstruction")
            << "empty" << QStringList{"0", "10", "10", "1", "20", "20"} << "neither";
        QTest::newRow("camera out of range")
            << "kermit" << QStringList{"0", "10", "10", "11", "20", "20"} << "is not one of the 11 cameras";
        QTest::newRow("camera not placed")
            << "kermit" << QStringList{"0", "10", "10", "6", "20", "20"} << "was not placed";
        QTest::newRow("not a number")
            << "kermit" << QStringList{"0", "ten", "10", "1", "20", "20"} << "is not \"camera x y\"";
        QTest::newRow("too few") << "kermit" << QStringList{"0", "10", "10", "1", "20"} << "usage";
        QTest::newRow("one observation twice")
            << "kermit" << QStringList{"0", "100", "100", "0", "100", "100"}
            << "less than the 1 a point needs";
    }
    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, observations);
        QFETCH(QString, reason);
        QTemporaryDir empty;
        QStringList args;
        if (source == "kermit") {
            REQUIRE_SHARED_DATA();
            args << SharedData::path(kermitList) << SharedData::path(kermitBundle)
                 << SharedData::path("images/kermit/");
        } else {
            args << empty.filePath("sparse-converted-list.txt") << empty.filePath("sparse-converted.out")
                 << empty.path() + "/";
        }
        const Run run = runTool(args + observations);
        QVERIFY(run.exitCode > 0);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestTriangulation)
#include "tst_triangulation.moc"
