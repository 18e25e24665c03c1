#include <QtTest>

#include "core/formats/BundleLoader.h"
#include "CommaLocale.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"

#include <iostream>
#include <random>
#include <sstream>
#include "SharedData.h"

namespace
{

// Collects what the code under test prints on standard output.
class StdoutCapture
{
public:
    StdoutCapture() : m_old(std::cout.rdbuf(m_text.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(m_old); }
    std::string text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    std::streambuf* m_old;
};

struct Loaded {
    bool ok = false;
    SparseBundle bundle;
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    std::string out;
    std::string message;

    size_t viewCount() const
    {
        size_t n = 0;
        for (const auto& list : bundle.bundleCameras)
            for (const auto& camera : list)
                n += camera->views.size();
        return n;
    }
};

std::unique_ptr<Loaded> readText(const QByteArray& text, const std::string& folder = "/site/")
{
    auto loaded = std::make_unique<Loaded>();
    StdoutCapture capture;
    loaded->ok = NvmReader::readNvm(text.constData(), text.constData() + text.size(), folder,
                                    loaded->vertices, loaded->colours, loaded->bundle, &loaded->message);
    loaded->out = capture.text();
    return loaded;
}

std::unique_ptr<Loaded> readFile(const QString& path, std::string* imageFolder = nullptr)
{
    auto loaded = std::make_unique<Loaded>();
    std::string folder;
    StdoutCapture capture;
    loaded->ok = NvmReader::readNvm(path.toStdString(), loaded->vertices, loaded->colours, loaded->bundle,
                                    folder, &loaded->message);
    loaded->out = capture.text();
    if (imageFolder)
        *imageFolder = folder;
    return loaded;
}

// A reference file by its path below the reference folder, or any file by its absolute path.
QString dataPath(const QString& file)
{
    return file.startsWith('/') ? file : SharedData::path(file);
}

QByteArray sharedFile(const QString& relative)
{
    QFile file(dataPath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Two models, the second with a measurement in each of its cameras and a
// point seen by no camera.
const QByteArray twoModels = "NVM_V3\n"
                             "\n"
                             "2\n"
                             "a.jpg 1000 1 0 0 0 1 2 3 0.1 0\n"
                             "b.jpg 1100 0 1 0 0 4 5 6 0.2 0\n"
                             "\n"
                             "3\n"
                             "0.5 1.5 2.5 10 20 30 2 0 7 1.5 -2.5 1 8 3 4\n"
                             "1 2 3 255 255 255 1 1 9 5 6\n"
                             "4 5 6 0 0 0 0\n"
                             "\n"
                             "\n"
                             "1\n"
                             "c.jpg 900 1 0 0 0 0 0 0 0 0\n"
                             "\n"
                             "2\n"
                             "7 8 9 1 2 3 1 0 11 0.25 0.75\n"
                             "-1 -2 -3 4 5 6 1 0 12 1 1\n"
                             "0\n";

void compareBundles(const Loaded& a, const Loaded& b)
{
    QCOMPARE(a.ok, b.ok);
    QCOMPARE(a.bundle.bundleCameras.size(), b.bundle.bundleCameras.size());
    for (size_t m = 0; m < a.bundle.bundleCameras.size(); ++m) {
        const auto& ca = a.bundle.bundleCameras[m];
        const auto& cb = b.bundle.bundleCameras[m];
        QCOMPARE(ca.size(), cb.size());
        for (size_t i = 0; i < ca.size(); ++i) {
            QCOMPARE(ca[i]->name, cb[i]->name);
            QCOMPARE(ca[i]->focalLength, cb[i]->focalLength);
            QCOMPARE(ca[i]->centre, cb[i]->centre);
            QCOMPARE(ca[i]->quat(), cb[i]->quat());
            QCOMPARE(ca[i]->views.size(), cb[i]->views.size());
            for (size_t v = 0; v < ca[i]->views.size(); ++v) {
                QCOMPARE(ca[i]->views[v]->featureIndex, cb[i]->views[v]->featureIndex);
                QCOMPARE(ca[i]->views[v]->x, cb[i]->views[v]->x);
                QCOMPARE(ca[i]->views[v]->y, cb[i]->views[v]->y);
                QCOMPARE(ca[i]->views[v]->pointIndex, cb[i]->views[v]->pointIndex);
            }
        }
    }
    QCOMPARE(a.vertices.size(), b.vertices.size());
    for (size_t m = 0; m < a.vertices.size(); ++m) {
        QCOMPARE(a.vertices[m]->size(), b.vertices[m]->size());
        QVERIFY(*a.vertices[m] == *b.vertices[m]);
        QVERIFY(*a.colours[m] == *b.colours[m]);
    }
}

} // namespace

class TestNvmReader : public QObject
{
    Q_OBJECT
private slots:
    // Each file loads with the counts its own header lines declare.
    void sharedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("cameraLists");
        QTest::addColumn<QList<int>>("pointSets");
        QTest::newRow("CRLF, tabs, e-016")
            << "nvm/khoa_dense_crlf_vsfm.nvm" << QList<int>{6} << QList<int>{1941};
        // The second model declares 0 points: its cameras stay, reading stops.
        QTest::newRow("two models") << "nvm/multimodel_vsfm.nvm" << QList<int>{2, 10} << QList<int>{14};
        QTest::newRow("linux tabs") << "nvm/pic22_vsfm_linux.nvm" << QList<int>{22} << QList<int>{853};
        QTest::newRow("e-005") << "nvm/sceaux_castle_vsfm.nvm" << QList<int>{11} << QList<int>{7817};
        QTest::newRow("shipped sample") << QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.nvm")
                                        << QList<int>{16} << QList<int>{4000};
    }
    void sharedFiles()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, cameraLists);
        QFETCH(QList<int>, pointSets);
        const QString path = dataPath(file);
        REQUIRE_SHARED_DATA_FOR(path);
        QVERIFY2(QFile::exists(path), qPrintable(path));

        std::string folder;
        const auto loaded = readFile(path, &folder);
        QVERIFY(loaded->ok);
        QCOMPARE(QString::fromStdString(folder), QFileInfo(path).path() + "/");
        QCOMPARE(int(loaded->bundle.bundleCameras.size()), cameraLists.size());
        for (int m = 0; m < cameraLists.size(); ++m)
            QCOMPARE(int(loaded->bundle.bundleCameras[m].size()), cameraLists[m]);
        QCOMPARE(int(loaded->vertices.size()), pointSets.size());
        for (int m = 0; m < pointSets.size(); ++m) {
            QCOMPARE(int(loaded->vertices[m]->size()), pointSets[m]);
            QCOMPARE(loaded->colours[m]->size(), loaded->vertices[m]->size());
        }
        QVERIFY(loaded->out.find("Total Points Read = " + std::to_string(pointSets[0]) + "\n") !=
                std::string::npos);

        // Names carry neither the tab nor the carriage return of their line;
        // every view points into its own model's lists.
        for (size_t m = 0; m < loaded->bundle.bundleCameras.size(); ++m) {
            const auto& cameras = loaded->bundle.bundleCameras[m];
            for (size_t c = 0; c < cameras.size(); ++c) {
                const auto& camera = cameras[c];
                QVERIFY(!camera->name.empty());
                QVERIFY(camera->name.find_first_of("\t\r ") == std::string::npos);
                QCOMPARE(camera->path, folder + camera->name);
                QVERIFY(camera->focalLength > 100);
                QVERIFY(std::abs(camera->quat().length() - 1.0) < 1e-3);
                for (const auto& view : camera->views) {
                    QCOMPARE(view->cameraIndex, double(c));
                    QVERIFY(m < loaded->vertices.size());
                    QVERIFY(view->pointIndex >= 0 && view->pointIndex < loaded->vertices[m]->size());
                }
            }
        }
        for (const auto& colours : loaded->colours)
            for (const osg::Vec4& c : *colours)
                QVERIFY(c.r() >= 0 && c.r() <= 1 && c.g() >= 0 && c.g() <= 1 && c.b() >= 0 && c.b() <= 1 &&
                        c.a() == 1);

        // The file and the in-memory readers agree.
        const auto fromMemory = readText(sharedFile(file), folder);
        compareBundles(*loaded, *fromMemory);
    }

    void sharedFileValues()
    {
        REQUIRE_SHARED_DATA();
        const auto crlf = readText(sharedFile("nvm/khoa_dense_crlf_vsfm.nvm"));
        QVERIFY(crlf->ok);
        const auto& camera = *crlf->bundle.bundleCameras[0][2];
        QCOMPARE(camera.name, std::string("20160603_150158.jpg"));
        QCOMPARE(camera.focalLength, 3590.90820313);
        QCOMPARE(camera.centre.y(), 4.4408920985e-016f);
        QCOMPARE(camera.rotation[3], 0.629018340359f);

        const auto castle = readText(sharedFile("nvm/sceaux_castle_vsfm.nvm"));
        QVERIFY(castle->ok);
        QCOMPARE(castle->bundle.bundleCameras[0][0]->rotation[2], -7.06294e-005f);
        QCOMPARE((*castle->vertices[0])[0], osg::Vec3(-0.377804f, -0.529776f, 11.3358f));
        QCOMPARE((*castle->colours[0])[0], osg::Vec4(134 / 255.0f, 149 / 255.0f, 148 / 255.0f, 1.0f));
        // "... 10 0 610 1955.85 1022.11 ...": camera 0 saw point 0 first.
        const PointView& first = *castle->bundle.bundleCameras[0][0]->views.front();
        QCOMPARE(first.featureIndex, 610.0);
        QCOMPARE(first.x, 1955.85);
        QCOMPARE(first.y, 1022.11);
        QCOMPARE(first.pointIndex, 0.0);
    }

    void bundlerFilesLoadNothing_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name :
             {"kermit_bundler_example.out", "kermit_runsfm_bundle.out", "kermit_runsfm_pmvs_bundle.rd.out"})
            QTest::newRow(name) << SharedData::path("bundler/") + name;
    }
    void bundlerFilesLoadNothing()
    {
        QFETCH(QString, file);
        REQUIRE_SHARED_DATA();
        QVERIFY(QFile::exists(file));
        SparseBundle bundle;
        StdoutCapture capture;
        const BundleLoader::Result result = BundleLoader::load(file.toStdString(), bundle);
        QCOMPARE(capture.text(), std::string("Reading Bundle File\nBundle File is .out\n"));
        QVERIFY(result.kind == BundleLoader::Kind::Out);
        QVERIFY(!result.ok);
        QVERIFY(result.accepted);
        QVERIFY(!result.buildScene);
        QVERIFY(bundle.bundleCameras.empty());
        QVERIFY(result.vertices.empty());
    }

    void readerSelection_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("secondLine");
        QTest::newRow("nvm") << "/d/sparse.nvm" << int(BundleLoader::Kind::Nvm) << "Bundle File is .nvm";
        QTest::newRow("out inside the name wins")
            << "/d/sparse.out.nvm" << int(BundleLoader::Kind::Out) << "Bundle File is .out";
        // Only ".out" counts, not any "out": a layout or an output folder stays an NVM.
        QTest::newRow("out without dot")
            << "/output/layout.nvm" << int(BundleLoader::Kind::Nvm) << "Bundle File is .nvm";
        // Only the file's own name counts, as for the layer type.
        QTest::newRow("out in a folder does not count")
            << "/x.out/a.nvm" << int(BundleLoader::Kind::Nvm) << "Bundle File is .nvm";
        QTest::newRow("patch") << "/d/models/option-0000.patch" << int(BundleLoader::Kind::Patch)
                               << "Bundle File is .patch";
        QTest::newRow("nvm before patch")
            << "/d/a.patch.nvm" << int(BundleLoader::Kind::Nvm) << "Bundle File is .nvm";
        QTest::newRow("case matters")
            << "/d/SPARSE.NVM" << int(BundleLoader::Kind::Unsupported) << "Unsupported File type";
        QTest::newRow("ply") << "/d/cloud.ply" << int(BundleLoader::Kind::Unsupported)
                             << "Unsupported File type";
    }
    void readerSelection()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, secondLine);
        QCOMPARE(int(BundleLoader::kindOf(name.toStdString())), kind);

        SparseBundle bundle;
        StdoutCapture capture;
        const BundleLoader::Result result =
            BundleLoader::load(name.toStdString(), bundle); // files do not exist
        const std::string text = capture.text();
        QCOMPARE(QString::fromStdString(text.substr(0, text.find('\n', 20) + 1)),
                 "Reading Bundle File\n" + secondLine + "\n");
        QCOMPARE(int(result.kind), kind);
        QVERIFY(!result.ok);
        QVERIFY(!result.accepted);
        QVERIFY2(QString::fromStdString(result.message).contains(name), result.message.c_str());
        QVERIFY(!result.buildScene);
        QVERIFY(bundle.bundleCameras.empty());
    }

    void loaderBuildsSceneForNvmOnly()
    {
        const QString path = QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.nvm");
        SparseBundle bundle;
        StdoutCapture capture;
        const BundleLoader::Result result = BundleLoader::load(path.toStdString(), bundle);
        QVERIFY(result.ok);
        QVERIFY(result.buildScene);
        QCOMPARE(result.vertices.size(), size_t(1));
        QCOMPARE(QString::fromStdString(result.imageFolder), QFileInfo(path).path() + "/");
        QVERIFY(capture.text().rfind(
                    "Reading Bundle File\nBundle File is .nvm\nCamCount: 16\nTotal Cams:16\n", 0) == 0);
    }

    // The dense matcher's models are PLY text under a ".patch" name: the
    // loader reads their points but builds no scene nodes for them.
    void patchFileReadsAsPointsWithoutNodes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("option-0000.patch");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ply\nformat ascii 1.0\ncomment pmvs2 option-0000\nelement vertex 2\nproperty float x\n"
                   "property float y\nproperty float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
                   "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                   "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                   "1 2 3 0 0 1 255 0 0 255\n4 5 6 0 1 0 0 255 0 255\n");
        file.close();
        SparseBundle bundle;
        StdoutCapture capture;
        const BundleLoader::Result result = BundleLoader::load(path.toStdString(), bundle);
        QVERIFY(result.ok);
        QVERIFY(result.accepted);
        QVERIFY(!result.buildScene);
        QCOMPARE(result.vertices.size(), size_t(1));
        QCOMPARE(int(result.vertices[0]->size()), 2);
        QCOMPARE((*result.vertices[0])[1], osg::Vec3(4, 5, 6));
        QCOMPARE((*result.colours[0])[0], osg::Vec4(1, 0, 0, 1));
        QVERIFY(capture.text().rfind("Reading Bundle File\nBundle File is .patch\n", 0) == 0);
    }

    void cameraLine()
    {
        const auto loaded =
            readText("NVM_V3\n\n1\nimg001.jpg 1200.5 1 0 0 0 1 2 3 -0.05 0\n\n1\n0 0 0 0 0 0 0\n");
        QVERIFY(loaded->ok);
        const BundleCamera& camera = *loaded->bundle.bundleCameras[0][0];
        QCOMPARE(camera.name, std::string("img001.jpg"));
        QCOMPARE(camera.path, std::string("/site/img001.jpg"));
        QCOMPARE(camera.focalLength, 1200.5);
        QCOMPARE(camera.centre, osg::Vec3f(1, 2, 3));
        QCOMPARE(camera.rotation[0], 0.0f);
        QCOMPARE(camera.rotation[1], 0.0f);
        QCOMPARE(camera.rotation[2], 0.0f);
        QCOMPARE(camera.rotation[3], 1.0f);
        QCOMPARE(loaded->out, std::string("CamCount: 1\nTotal Cams:1\nFirst Cam Name is /site/img001.jpg\n"
                                          "Total Points Read = 1\n"));
    }

    void pointColour()
    {
        const auto loaded = readText("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 2 3 255 128 0 0\n");
        QVERIFY(loaded->ok);
        const osg::Vec4 colour = (*loaded->colours[0])[0];
        QCOMPARE(colour.r(), 1.0f);
        QVERIFY(std::abs(colour.g() - 0.50196f) < 1e-5f);
        QCOMPARE(colour.b(), 0.0f);
        QCOMPARE(colour.a(), 1.0f);
        QCOMPARE((*loaded->vertices[0])[0], osg::Vec3(1, 2, 3));
    }

    void twoModelsThenZero()
    {
        const auto loaded = readText(twoModels);
        QVERIFY(loaded->ok);
        QCOMPARE(loaded->bundle.bundleCameras.size(), size_t(2));
        QCOMPARE(loaded->vertices.size(), size_t(2));
        QCOMPARE(loaded->vertices[0]->size(), size_t(3));
        QCOMPARE(loaded->vertices[1]->size(), size_t(2));

        const auto& first = loaded->bundle.bundleCameras[0];
        QCOMPARE(first[0]->views.size(), size_t(1));
        QCOMPARE(first[1]->views.size(), size_t(2));
        const PointView& v = *first[1]->views[1];
        QCOMPARE(v.cameraIndex, 1.0);
        QCOMPARE(v.featureIndex, 9.0);
        QCOMPARE(v.x, 5.0);
        QCOMPARE(v.y, 6.0);
        QCOMPARE(v.pointIndex, 1.0);
        // The point "4 5 6 ... 0" is in no image: a vertex, no view.
        QCOMPARE((*loaded->vertices[0])[2], osg::Vec3(4, 5, 6));

        // The second model's views index its own single camera.
        const auto& second = loaded->bundle.bundleCameras[1];
        QCOMPARE(second[0]->views.size(), size_t(2));
        QCOMPARE(second[0]->views[0]->cameraIndex, 0.0);
        QCOMPARE(second[0]->views[1]->pointIndex, 1.0);
        QCOMPARE(second[0]->views[1]->featureIndex, 12.0);
        QVERIFY(loaded->out.find("Total Points Read = 3\n") != std::string::npos);
    }

    void modelWithoutPointsStops()
    {
        const QByteArray text = "NVM_V3\n\n"
                                "1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 1 1 1 1 1 0\n\n"
                                "2\nb.jpg 1 1 0 0 0 0 0 0 0 0\nc.jpg 1 1 0 0 0 0 0 0 0 0\n\n0\n\n"
                                "1\nd.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n2 2 2 2 2 2 0\n0\n";
        const auto loaded = readText(text);
        QVERIFY(loaded->ok);
        QCOMPARE(loaded->bundle.bundleCameras.size(), size_t(2));
        QCOMPARE(loaded->bundle.bundleCameras[1].size(), size_t(2));
        QCOMPARE(loaded->vertices.size(), size_t(1));
    }

    void noPointsAtAllFails()
    {
        const auto loaded = readText("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n0\n");
        QVERIFY(!loaded->ok);
        QCOMPARE(loaded->bundle.bundleCameras.size(), size_t(1));
        QVERIFY(loaded->vertices.empty());
        QVERIFY(loaded->out.find("Total Points Read") == std::string::npos);
        // The user is told where the reading ended.
        QCOMPARE(QString::fromStdString(loaded->message), QString("line 6: model 0 has no points"));
        QCOMPARE(QString::fromStdString(readText("NVM_V3\n\n")->message),
                 QString("line 2: the file ends before a camera count"));
    }

    void unreadableFileFails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << "/nonexistent/folder/sparse.nvm";
        QTest::newRow("folder") << QStringLiteral(ORVALIS_SOURCE_DIR "/samples");
        // An endless device must not grow the line buffer without end.
        if (QFile::exists("/dev/zero"))
            QTest::newRow("endless device") << "/dev/zero";
    }
    void unreadableFileFails()
    {
        QFETCH(QString, file);
        const auto loaded = readFile(file);
        QVERIFY(!loaded->ok);
        QVERIFY(loaded->bundle.bundleCameras.empty());
        QVERIFY(loaded->out.find("Total Points Read") == std::string::npos);
        QVERIFY(loaded->out.find("Cannot open " + file.toStdString()) != std::string::npos);
        QVERIFY(loaded->message.rfind("Cannot open " + file.toStdString(), 0) == 0);
    }

    void countLines_data()
    {
        QTest::addColumn<QByteArray>("countLine");
        QTest::addColumn<int>("cameras");
        QTest::newRow("plain") << QByteArray("2") << 2;
        QTest::newRow("fraction truncated") << QByteArray("2.9") << 2;
        QTest::newRow("exponent") << QByteArray("2e0") << 2;
        QTest::newRow("blanks and trailing text") << QByteArray("\t 2 cameras") << 2;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("negative") << QByteArray("-3") << 0;
        QTest::newRow("word") << QByteArray("cameras") << 0;
        QTest::newRow("not a number") << QByteArray("nan") << 0;
        QTest::newRow("below one") << QByteArray("0.99") << 0;
    }
    void countLines()
    {
        QFETCH(QByteArray, countLine);
        QFETCH(int, cameras);
        const auto loaded =
            readText("NVM_V3\n\n" + countLine +
                     "\na.jpg 1 1 0 0 0 0 0 0 0 0\nb.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 2 3 4 5 6 0\n");
        QCOMPARE(loaded->bundle.bundleCameras.size(), size_t(cameras > 0 ? 1 : 0));
        if (cameras > 0)
            QCOMPARE(int(loaded->bundle.bundleCameras[0].size()), cameras);
    }

    void countOnSecondLineReadsNothing()
    {
        const auto loaded = readText("NVM_V3\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 2 3 4 5 6 0\n");
        QVERIFY(!loaded->ok);
        // Line 3 ("a.jpg ...") stands where the count should be.
        QVERIFY(loaded->bundle.bundleCameras.empty());
    }

    // Files from gen and VisualSfM's zero-point models have no blank line
    // between the cameras and the point count.
    void pointCountRightAfterCameras()
    {
        const auto loaded =
            readText("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n2\n5 6 7 1 1 1 0\n8 9 10 1 1 1 0\n");
        QVERIFY(loaded->ok);
        QCOMPARE(loaded->vertices[0]->size(), size_t(2));
        QCOMPARE((*loaded->vertices[0])[0], osg::Vec3(5, 6, 7));
    }

    void cameraOutsideListIsSkipped_data()
    {
        QTest::addColumn<QByteArray>("camera");
        QTest::newRow("equal to count") << QByteArray("2");
        QTest::newRow("far beyond") << QByteArray("2000000000");
        QTest::newRow("negative") << QByteArray("-1");
        QTest::newRow("clamped exponent") << QByteArray("1e400");
    }
    void cameraOutsideListIsSkipped()
    {
        QFETCH(QByteArray, camera);
        const auto loaded =
            readText("NVM_V3\n\n2\na.jpg 1 1 0 0 0 0 0 0 0 0\nb.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n"
                     "1 2 3 4 5 6 3 0 5 1 1 " +
                     camera + " 6 2 2 1 7 3 3\n");
        QVERIFY(loaded->ok);
        QCOMPARE(loaded->vertices[0]->size(), size_t(1));
        const auto& cameras = loaded->bundle.bundleCameras[0];
        QCOMPARE(cameras[0]->views.size(), size_t(1));
        QCOMPARE(cameras[1]->views.size(), size_t(1));
        QCOMPARE(cameras[1]->views[0]->featureIndex, 7.0);
        QVERIFY(loaded->out.find("Skipped 1 measurements") != std::string::npos);
    }

    // A corrupt count must neither allocate for it up front nor spin through
    // it; the reader keeps what the text holds.
    void hugeCounts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("cameras");
        QTest::addColumn<int>("points");
        QTest::newRow("points") << QByteArray("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n2000000000\n"
                                              "1 2 3 4 5 6 0\n7 8 9 1 2 3 0\n")
                                << 1 << 2;
        QTest::newRow("points with exponent")
            << QByteArray("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1e300\n"
                          "1 2 3 4 5 6 0\n")
            << 1 << 1;
        // The points are read as cameras, then the text ends.
        QTest::newRow("cameras") << QByteArray("NVM_V3\n\n2000000000\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n"
                                               "1 2 3 4 5 6 0\n")
                                 << 3 << 0;
        QTest::newRow("measurements") << QByteArray("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n"
                                                    "1 2 3 4 5 6 2000000000 0 1 2 3 0 4 5\n")
                                      << 1 << 1;
    }
    void hugeCounts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, cameras);
        QFETCH(int, points);
        const auto loaded = readText(text);
        QCOMPARE(loaded->ok, points > 0);
        QCOMPARE(int(loaded->bundle.bundleCameras[0].size()), cameras);
        QCOMPARE(int(loaded->vertices.empty() ? 0 : loaded->vertices[0]->size()), points);
        if (points > 0) {
            QVERIFY(loaded->vertices[0]->capacity() <= size_t(text.size()));
            QVERIFY(loaded->colours[0]->capacity() <= size_t(text.size()));
        }
    }

    void measurementsOnlyWhenComplete()
    {
        // Three declared, two and a half present: two are kept.
        const auto loaded =
            readText("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 2 3 4 5 6 3 0 1 2 3 0 4 5 6 0 7\n");
        QVERIFY(loaded->ok);
        QCOMPARE(loaded->viewCount(), size_t(2));
    }

    void truncated_data()
    {
        QTest::addColumn<int>("cut");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("points");
        const int lastPoint = twoModels.indexOf("4 5 6 0 0 0 0");
        QTest::newRow("inside a camera line") << twoModels.indexOf("b.jpg") + 8 << false << 0;
        QTest::newRow("before the point count") << twoModels.indexOf("\n3\n") << false << 0;
        QTest::newRow("inside a point line") << twoModels.indexOf("1 2 3 255") + 5 << true << 2;
        QTest::newRow("inside a measurement") << twoModels.indexOf("1 8 3 4") + 4 << true << 1;
        QTest::newRow("before the last point") << lastPoint << true << 2;
        QTest::newRow("without end newline") << twoModels.size() - 1 << true << 3;
    }
    void truncated()
    {
        QFETCH(int, cut);
        QFETCH(bool, ok);
        QFETCH(int, points);
        const auto loaded = readText(twoModels.left(cut));
        QCOMPARE(loaded->ok, ok);
        QCOMPARE(int(loaded->vertices.empty() ? 0 : loaded->vertices[0]->size()), points);
    }

    // Every prefix and a few thousand random damages of a good file: no
    // crash, no hang, views always inside their lists.
    void damagedTextStaysSound()
    {
        for (int cut = 0; cut <= twoModels.size(); ++cut)
            readText(twoModels.left(cut));

        std::mt19937 rng(4242);
        for (int round = 0; round < 3000; ++round) {
            QByteArray text = twoModels;
            const int damages = 1 + int(rng() % 6);
            for (int d = 0; d < damages; ++d) {
                const int at = int(rng() % text.size());
                switch (rng() % 4) {
                case 0:
                    text[at] = char(rng() % 256);
                    break;
                case 1:
                    text.remove(at, 1 + int(rng() % 8));
                    break;
                case 2:
                    text.insert(at, "999999999");
                    break;
                default:
                    text.insert(at, QByteArray(1 + int(rng() % 4), char(rng() % 256)));
                    break;
                }
            }
            const auto loaded = readText(text);
            for (size_t m = 0; m < loaded->bundle.bundleCameras.size(); ++m)
                for (const auto& camera : loaded->bundle.bundleCameras[m])
                    for (const auto& view : camera->views) {
                        QVERIFY(view->cameraIndex < loaded->bundle.bundleCameras[m].size());
                        QVERIFY(view->pointIndex >= 0);
                    }
        }
    }

    void binaryGarbage()
    {
        std::mt19937 rng(99);
        for (int round = 0; round < 200; ++round) {
            QByteArray text(int(rng() % 4096), '\0');
            for (char& c : text)
                c = char(rng() % 256);
            if (round % 2)
                text.prepend("NVM_V3\n\n3\n");
            readText(text);
        }
        const auto empty = readText(QByteArray());
        QVERIFY(!empty->ok);
        static const char nul[] = "NVM_V3\n\n1\na\0b.jpg 1 1 0 0 0 0 0 0 0 0\n\n1\n1 2 3 4 5 6 1 0 0 0 0\n";
        const auto withNul = readText(QByteArray(nul, sizeof nul - 1));
        QVERIFY(withNul->ok);
        QCOMPARE(withNul->bundle.bundleCameras[0][0]->name, std::string("a\0b.jpg", 7));
    }

    // Line endings, tabs and trailing blanks of other writers read exactly
    // like the plain text.
    void writerVariants_data()
    {
        QTest::addColumn<QByteArray>("text");
        QByteArray crlf = twoModels;
        crlf.replace("\n", "\r\n");
        QByteArray tabs = twoModels;
        tabs.replace(' ', '\t');
        QByteArray trailing = twoModels;
        trailing.replace("\n", " \t \n");
        QByteArray mixed = crlf;
        mixed.replace(" ", "  \t");
        QByteArray noFinalNewline = crlf;
        noFinalNewline.chop(2);
        QTest::newRow("CRLF") << crlf;
        QTest::newRow("tabs") << tabs;
        QTest::newRow("trailing blanks") << trailing;
        QTest::newRow("CRLF and runs of blanks") << mixed;
        QTest::newRow("CRLF without final newline") << noFinalNewline;
    }
    void writerVariants()
    {
        QFETCH(QByteArray, text);
        const auto plain = readText(twoModels);
        const auto variant = readText(text);
        compareBundles(*plain, *variant);
        QCOMPARE(variant->out, plain->out);
    }

    void blankLineInsidePoints()
    {
        const auto loaded =
            readText("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n3\n1 1 1 1 1 1 0\n\n2 2 2 2 2 2 1 0 5 1 1\n");
        QVERIFY(loaded->ok);
        // The blank record adds nothing; the view still names the vertex it belongs to.
        QCOMPARE(loaded->vertices[0]->size(), size_t(2));
        QCOMPARE(loaded->bundle.bundleCameras[0][0]->views[0]->pointIndex, 1.0);
    }

    void commaLocaleChangesNothing()
    {
        const auto before = readText(twoModels);
        const QString file = SharedData::present() ? SharedData::path("nvm/sceaux_castle_vsfm.nvm")
                                                   : QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.nvm");
        const auto fileBefore = readFile(file);
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no locale with a decimal comma can be installed here");
        compareBundles(*before, *readText(twoModels));
        compareBundles(*fileBefore,
                       *readFile(file));
        // Plain atof in a comma locale would stop at the "." and count 1 point.
        QByteArray counted = "NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n1.2e1\n";
        for (int i = 0; i < 12; ++i)
            counted += "0.5 0 0 0 0 0 0\n";
        const auto loaded = readText(counted);
        QCOMPARE(loaded->vertices[0]->size(), size_t(12));
        QCOMPARE((*loaded->vertices[0])[0].x(), 0.5f);
    }

    void imageFolder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("folder");
        QTest::newRow("absolute") << "/data/site/sparse.nvm"
                                  << "/data/site/";
        QTest::newRow("root") << "/sparse.nvm"
                              << "/";
        QTest::newRow("relative") << "run/sparse.nvm"
                                  << "run/";
        QTest::newRow("bare name") << "sparse.nvm"
                                   << "./";
        QTest::newRow("last slash counts") << "a/b.c/d.nvm"
                                           << "a/b.c/";
    }
    void imageFolder()
    {
        QFETCH(QString, file);
        QFETCH(QString, folder);
        QCOMPARE(QString::fromStdString(NvmReader::imageFolderOf(file.toStdString())), folder);
    }
};

QTEST_GUILESS_MAIN(TestNvmReader)
#include "tst_nvmreader.moc"
