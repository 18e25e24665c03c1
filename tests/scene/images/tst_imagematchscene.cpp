#include <QDir>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

#include <osg/Group>

#include "BundlerFile.h"
#include "SharedData.h"
#include "core/formats/SparseBundle.h"
#include "core/images/AutoLispWriter.h"
#include "core/log/LogSink.h"
#include "scene/images/ImageMatchScene.h"
#include "ui/SfmToolDoubles.h"

namespace
{

using Tool = ExternalTools::Tool;

// The stand-in prints (x, y) of the first observation at height 1.5; camera
// 99 is one the reconstruction does not know.
const QByteArray triangulate =
    "if [ \"$4\" = 99 ]; then echo 'camera 99 is not one of the cameras' >&2; exit 1; fi\n"
    "echo \"$5,$6,1.5\"";

ImagePick pick(const QString& image, int camera, int x, int y, int type, const QString& folder)
{
    ImagePick p;
    p.imageName = image;
    p.cameraIndex = camera;
    p.reconstructionFolder = folder;
    p.type = type;
    p.x = x;
    p.y = y;
    return p;
}

void addMatch(ImageSelection& s, const QString& folder, int camera, int x, int y, int type)
{
    s.pick(pick("a.jpg", camera, x, y, type, folder), false);
    s.pick(pick("b.jpg", camera + 1, x + 3, y + 3, type, folder), false);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestImageMatchScene : public QObject
{
    Q_OBJECT
private slots:
    void extractMakesOneShapeOfTheTriangulatedMatches()
    {
        SfmToolDoubles tools;
        tools.install(Tool::TriangulationUndistort, triangulate);
        QTemporaryDir images;
        const QString folder = images.path() + "/";
        osg::ref_ptr<osg::Group> root = new osg::Group;
        ImageMatchScene scene(root.get());
        ImageSelection& s = scene.selection();
        for (int i = 0; i < 6; ++i) {
            addMatch(s, folder, 0, 100 + i, 200, 1); // outer ring
            addMatch(s, folder, 0, 10 + i, 20, 0);   // inner ring
        }
        addMatch(s, folder, 99, 1, 1, 1);                 // the tool fails on it
        s.pick(pick("a.jpg", 0, 7, 7, 0, folder), false); // still open

        const ImageMatchScene::Extract result = scene.extract(tools.appDir());
        QCOMPARE(result.points, 12);
        QCOMPARE(result.log.filter("gave no point").size(), 1);
        QVERIFY2(result.log.filter("gave no point")[0].contains("camera 99 is not one of the cameras"),
                 qPrintable(result.log.join('\n')));

        QCOMPARE(int(scene.extractedObjects().size()), 1);
        const ExtractedObject& shape = scene.extractedObjects()[0];
        for (int type = 0; type < ExtractedObject::typeCount; ++type)
            QCOMPARE(shape.connectors[size_t(type)].size(), 6);
        QCOMPARE(shape.outerRing()[0].first, osg::Vec3d(100, 200, 1.5));
        QCOMPARE(shape.innerRing()[5].second, osg::Vec3d(10, 20, 1.5));

        QCOMPARE(result.lispFile, folder + "lispOutput_0.lsp");
        QCOMPARE(readAll(result.lispFile), AutoLispWriter::program(shape));
        QCOMPARE(result.featureFile, folder + "newFeatures_0.txt");
        const QList<QByteArray> lines = readAll(result.featureFile).split('\n');
        QCOMPARE(lines[0], QByteArray("12"));
        QCOMPARE(lines[1], QByteArray("a.jpg 0 0 1 100 200 100.000000 200.000000 1.500000 0 0"));
        QCOMPARE(lines.size(), 1 + 24 + 1);

        // The failed and the open match stay for another try; the point markers are gone.
        QCOMPARE(s.matches().size(), 2);
        QCOMPARE(s.history().size(), 12);
        QVERIFY(scene.triangulatedPoints().empty());
        QCOMPARE(root->getNumChildren(), 1u);
        QCOMPARE(root->getChild(0), static_cast<osg::Node*>(scene.connectorGroup()));

        // Nothing left to triangulate: no new files.
        const ImageMatchScene::Extract again = scene.extract(tools.appDir());
        QCOMPARE(again.points, 0);
        QVERIFY(again.lispFile.isEmpty());
        QVERIFY(!QFile::exists(folder + "lispOutput_1.lsp"));
        QVERIFY(!QFile::exists(folder + "newFeatures_1.txt"));
    }

    // The program's own Triangulate tool, through the command interpreter, on
    // Bundler's reconstruction of the kermit photos: two observations of one
    // of its points, in whole pixels, give that point within a pixel's worth.
    void realToolFindsAKnownPoint()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir images;
        QVERIFY(QFile::copy(SharedData::path("bundler/kermit_runsfm_bundle.out"),
                            images.filePath("sparse-converted.out")));
        QVERIFY(QFile::copy(SharedData::path("bundler/kermit_runsfm_list.txt"),
                            images.filePath("sparse-converted-list.txt")));
        for (const QString& name : QDir(SharedData::path("images/kermit")).entryList({"*.jpg"}))
            QVERIFY(QFile::link(SharedData::path("images/kermit/" + name), images.filePath(name)));
        BundlerFile bundle;
        QVERIFY(bundle.readFile(images.filePath("sparse-converted.out").toStdString()));
        // A point that Bundler's cameras see where it lies (residuals under half
        // a pixel in its first two views), seen under the widest angle.
        const BundlerFile::Point* known = nullptr;
        double widest = 0;
        for (const BundlerFile::Point& p : bundle.points) {
            if (p.views.size() < 2)
                continue;
            bool sharp = true;
            for (int i = 0; i < 2; ++i) {
                const BundlerFile::View& v = p.views[size_t(i)];
                double x = 0, y = 0;
                sharp = sharp && bundle.cameras[size_t(v.camera)].project(p.position, x, y) &&
                        std::hypot(x - v.x, y - v.y) < 0.5;
            }
            const auto a = bundle.cameras[size_t(p.views[0].camera)].centre();
            const auto b = bundle.cameras[size_t(p.views[1].camera)].centre();
            const osg::Vec3d at(p.position[0], p.position[1], p.position[2]);
            osg::Vec3d ra = osg::Vec3d(a[0], a[1], a[2]) - at, rb = osg::Vec3d(b[0], b[1], b[2]) - at;
            ra.normalize();
            rb.normalize();
            const double angle = std::acos(std::clamp(ra * rb, -1.0, 1.0));
            if (sharp && angle > widest) {
                widest = angle;
                known = &p;
            }
        }
        QVERIFY(known);
        ImageMatchScene scene(nullptr);
        for (int i = 0; i < 2; ++i) {
            const BundlerFile::View& v = known->views[size_t(i)];
            // Bundler measures from the centre, y up; the viewer from the top-left corner.
            scene.selection().pick(pick(QStringLiteral("kermit%1.jpg").arg(v.camera, 3, 10, QChar('0')),
                                        v.camera, int(std::lround(v.x + 319.5)),
                                        int(std::lround(239.5 - v.y)), 1, images.path() + "/"),
                                   false);
        }
        const ImageMatchScene::Extract result = scene.extract(ORVALIS_APP_DIR);
        QCOMPARE(result.points, 1);
        const osg::Vec3d found = scene.selection().history()[0][0].point;
        const osg::Vec3d truth(known->position[0], known->position[1], known->position[2]);
        const auto c = bundle.cameras[size_t(known->views[0].camera)].centre();
        const double pixelWorth = (truth - osg::Vec3d(c[0], c[1], c[2])).length() /
                                  bundle.cameras[size_t(known->views[0].camera)].focal;
        QVERIFY2((found - truth).length() < pixelWorth,
                 qPrintable(QString("%1 > %2").arg((found - truth).length()).arg(pixelWorth)));
        QVERIFY(QFile::exists(result.lispFile));
    }

    // Picks of a second reconstruction were placed by the first one's
    // georeference: each reconstruction's own places its picks, in the scene
    // and in the CAD export.
    void picksArePlacedByTheirOwnReconstructionsGeoreference()
    {
        SfmToolDoubles tools;
        tools.install(Tool::TriangulationUndistort,
                      "case \"$3\" in *first*) echo 1,1,1;; *) echo 2,2,2;; esac");
        QTemporaryDir root;
        const QString first = root.path() + "/first/", second = root.path() + "/second/";
        QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
        GeoReference a, b;
        a.translation = osg::Vec3d(500000, 4100000, 10);
        b.translation = osg::Vec3d(712000, 4123000, 90);
        b.scale = osg::Vec3d(2, 2, 2);
        ImageMatchScene scene(nullptr);
        for (const auto& [folder, geo] : {std::pair<QString, GeoReference*>{first, &a}, {second, &b}}) {
            SparseBundle bundle;
            bundle.bundleCameras.emplace_back();
            for (const char* name : {"a.jpg", "b.jpg"}) {
                auto camera = std::make_unique<BundleCamera>();
                camera->name = name;
                camera->path = (folder + name).toStdString();
                bundle.bundleCameras[0].push_back(std::move(camera));
            }
            scene.setGeoReference(bundle, geo);
        }
        addMatch(scene.selection(), second, 0, 5, 5, 1);
        const ImageMatchScene::Extract result = scene.extract(tools.appDir());
        QCOMPARE(result.points, 1);
        QCOMPARE(scene.extrudedItems()[0].point, osg::Vec3d(712004, 4123004, 94));
        QVERIFY2(readAll(result.lispFile).contains("712004"), readAll(result.lispFile).constData());

        addMatch(scene.selection(), first, 0, 6, 6, 1);
        QCOMPARE(scene.extract(tools.appDir()).points, 1);
        QCOMPARE(scene.extrudedItems()[0].point, osg::Vec3d(500001, 4100001, 11));
        // A reconstruction without a georeference stays in its own frame.
        scene.setGeoReference(first, nullptr);
        QCOMPARE(scene.extrudedItem(osg::Vec3d(1, 2, 3), first, 1).point, osg::Vec3d(1, 2, 3));
    }

    // A match file the viewer could not read was reported on standard output
    // only; it is a warning on the log channel, once.
    void unreadableMatchFileIsSaidInTheLog()
    {
        QTemporaryDir dir;
        QFile broken(dir.filePath("gpu_matches.init.txt"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("a.jpg b.jpg many\n");
        broken.close();
        ImageMatchScene scene(nullptr);
        QStringList log;
        QObject subscriber;
        LogSink::subscribe(&subscriber, [&](LogLevel level, const QString& line) {
            if (level == LogLevel::Warning)
                log << line;
        });
        QTemporaryDir empty;
        scene.matchSetsFor(empty.filePath("a.jpg")); // no file yet: nothing to say
        QCoreApplication::processEvents();
        QVERIFY(log.isEmpty());
        scene.matchSetsFor(dir.filePath("a.jpg"));
        scene.matchSetsFor(dir.filePath("b.jpg"));
        QCoreApplication::processEvents();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].startsWith("The image viewers show no matches: the match file " + broken.fileName() +
                                   ": expected \"image image count\" (line 1)"),
                 qPrintable(log[0]));
    }

    void withoutAReconstructionNothingRuns()
    {
        ImageMatchScene scene(nullptr);
        addMatch(scene.selection(), QString(), -1, 1, 1, 0);
        const ImageMatchScene::Extract result = scene.extract("/nonexistent");
        QCOMPARE(result.points, 0);
        QVERIFY(result.log.join(' ').contains("load the reconstruction"));
        QCOMPARE(scene.selection().matches().size(), 1);
    }

    // Each match runs in the folder of its photos' reconstruction; one whose
    // photos come from two reconstructions, or from another reconstruction
    // than the extract's, is refused by name and stays, and a refused extract
    // writes no file.
    void picksOfTwoReconstructionsAreNotMixed()
    {
        SfmToolDoubles tools;
        // The stand-in answers with the folder it was given.
        tools.install(Tool::TriangulationUndistort,
                      "case \"$3\" in *first*) echo 1,1,1;; *) echo 2,2,2;; esac");
        QTemporaryDir root;
        const QString first = root.path() + "/first/", second = root.path() + "/second/";
        QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
        ImageMatchScene scene(nullptr);
        ImageSelection& s = scene.selection();
        s.pick(pick("a.jpg", 0, 1, 1, 0, first), false);
        s.pick(pick("b.jpg", 1, 2, 2, 0, second), false);
        ImageMatchScene::Extract refused = scene.extract(tools.appDir());
        QCOMPARE(refused.points, 0);
        QVERIFY2(refused.log
                         .filter("Match 1 (a.jpg and b.jpg) not triangulated: the photos belong to two "
                                 "reconstructions")
                         .size() == 1,
                 qPrintable(refused.log.join('\n')));
        QVERIFY(QDir(first).isEmpty() && QDir(second).isEmpty());

        addMatch(s, second, 0, 5, 5, 1);
        addMatch(s, first, 0, 6, 6, 1);
        const ImageMatchScene::Extract result = scene.extract(tools.appDir());
        QCOMPARE(result.points, 1);
        QCOMPARE(scene.selection().history()[0][0].point, osg::Vec3d(2, 2, 2));
        QCOMPARE(result.lispFile, second + "lispOutput_0.lsp");
        QVERIFY2(result.log.filter("is of the reconstruction in " + first).size() == 1,
                 qPrintable(result.log.join('\n')));
        QCOMPARE(s.matches().size(), 2);
    }

    // A CAD export that cannot be written keeps the picks: pressing E again
    // once the folder is there extracts them.
    void failedCadExportKeepsThePicks()
    {
        SfmToolDoubles tools;
        tools.install(Tool::TriangulationUndistort, triangulate);
        QTemporaryDir images;
        const QString folder = images.path() + "/moved/"; // not there (any more)
        ImageMatchScene scene(nullptr);
        addMatch(scene.selection(), folder, 0, 10, 20, 1);
        const ImageMatchScene::Extract failed = scene.extract(tools.appDir());
        QCOMPARE(failed.points, 0);
        QVERIFY2(failed.log.join('\n').contains("CAD export failed"), qPrintable(failed.log.join('\n')));
        QCOMPARE(scene.selection().matches().size(), 1);
        QVERIFY(scene.selection().history().isEmpty());
        QVERIFY(scene.extractedObjects().empty());

        QVERIFY(QDir().mkpath(folder));
        const ImageMatchScene::Extract again = scene.extract(tools.appDir());
        QCOMPARE(again.points, 1);
        QVERIFY(QFile::exists(again.lispFile) && QFile::exists(again.featureFile));
        QVERIFY(scene.selection().matches().isEmpty());
    }
};

QTEST_MAIN(TestImageMatchScene)
#include "tst_imagematchscene.moc"
