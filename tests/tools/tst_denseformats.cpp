#include <QtTest>

#include <QBuffer>
#include <QTemporaryDir>

#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "DenseCloud.h"
#include "ImageClusters.h"
#include "MvsCamera.h"
#include "MvsIni.h"
#include "OptionGenerator.h"
#include "OutlierFilter.h"
#include "PmvsOptions.h"
#include "VisData.h"
#include "core/formats/PlyReader.h"

// The files the dense tools hand each other, and the cloud they hand the
// workbench.
class TestDenseFormats : public QObject
{
    Q_OBJECT
private slots:
    void genOptionRefusesUnusableValues_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("reason");
        QTest::newRow("five values") << "1 2 0.7 7 3"
                                     << "expected level";
        QTest::newRow("threshold not a number") << "1 2 high 7 3 2"
                                                << "threshold is not a number";
        QTest::newRow("decimal comma") << "1 2 0,7 7 3 2"
                                       << "threshold is not a number";
        QTest::newRow("level too deep") << "7 2 0.7 7 3 2"
                                        << "level must lie";
        QTest::newRow("one image cannot agree") << "1 2 0.7 7 1 2"
                                                << "minImageNum must lie";
        QTest::newRow("no processor") << "1 2 0.7 7 3 0"
                                      << "CPU must lie";
    }
    void genOptionRefusesUnusableValues()
    {
        QFETCH(QString, words);
        QFETCH(QString, reason);
        std::vector<std::string> list;
        for (const QString& w : words.split(' '))
            list.push_back(w.toStdString());
        PmvsOptions options;
        std::string error;
        QVERIFY(!OptionGenerator::parse(list, options, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    // One option file per cluster, each naming its images, and a script
    // that runs the matcher on each with the folder as the script gave it.
    void genOptionWritesAFilePerClusterAndTheScript()
    {
        QTemporaryDir dir;
        ImageClusters clusters;
        clusters.viewCount = 5;
        clusters.clusters = {{{0, 1, 2}, {3}}, {{3, 4}, {2}}};
        QFile ske(dir.filePath("ske.dat"));
        QVERIFY(ske.open(QIODevice::WriteOnly));
        ske.write(QByteArray::fromStdString(clusters.text()));
        ske.close();

        PmvsOptions options;
        std::string error;
        QVERIFY(OptionGenerator::parse({"1", "2", "0.7", "7", "3", "8"}, options, &error));
        const std::string folderArg = QString(dir.path() + "/").replace('/', '\\').toStdString();
        QVERIFY2(OptionGenerator::write(DenseLayout::pmvs(folderArg), folderArg, options, &error),
                 error.c_str());

        PmvsOptions second;
        QVERIFY(second.readFile(dir.filePath("option-0001").toStdString(), &error));
        QCOMPARE(second.timages, std::vector<int>({3, 4}));
        QCOMPARE(second.oimages, std::vector<int>({2}));
        QCOMPARE(second.level, 1);
        QCOMPARE(second.csize, 2);
        QCOMPARE(second.threshold, 0.7);
        QCOMPARE(second.wsize, 7);
        QCOMPARE(second.minImageNum, 3);
        QCOMPARE(second.cpus, 8);

        QFile script(dir.filePath("pmvs_all.bat"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        const QStringList lines = QString(script.readAll()).split('\n', Qt::SkipEmptyParts);
        const QStringList runs = lines.filter("pmvs2.exe ");
        QCOMPARE(runs.size(), 2);
        QVERIFY2(runs[1].endsWith(QString::fromStdString(folderArg) + " option-0001"), qPrintable(runs[1]));
    }

    void optionImageListsInBothForms()
    {
        std::istringstream text("# comment\nlevel 2\ntimages -1 2 5\noimages 2 7 9\nunknownName 4\n");
        PmvsOptions options;
        QVERIFY(options.read(text));
        QCOMPARE(options.level, 2);
        QCOMPARE(options.timages, std::vector<int>({2, 3, 4}));
        QCOMPARE(options.oimages, std::vector<int>({7, 9}));
        std::istringstream bad("timages 3 1 2\n");
        std::string error;
        QVERIFY(!options.read(bad, &error));
        QVERIFY(QString::fromStdString(error).contains("line 1"));
    }

    // A value the matcher would read in part, or list items beyond the
    // count, used to pass without a word.
    void optionAndVisFilesRefuseWhatTheyWouldDrop_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("level 1.5") << "option"
                                   << "level 2\nlevel 1.5\n"
                                   << "line 2: bad value for level";
        QTest::newRow("threshold with a tail") << "option"
                                               << "threshold 0.7x\n"
                                               << "line 1";
        QTest::newRow("more images than counted") << "option"
                                                  << "timages 2 1 2 3\n"
                                                  << "line 1";
        QTest::newRow("range with a tail") << "option"
                                           << "oimages -1 0 3 9\n"
                                           << "line 1";
        QTest::newRow("partner beyond its count") << "vis"
                                                  << "VISDATA\n2\n0 1 1\n1 1 0 1\n"
                                                  << "more follows";
    }
    void optionAndVisFilesRefuseWhatTheyWouldDrop()
    {
        QFETCH(QString, format);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string path = dir.filePath("file").toStdString();
        {
            std::ofstream out(path);
            out << text.toStdString();
        }
        PmvsOptions options;
        VisData vis;
        std::string error;
        QVERIFY(!(format == "option" ? options.readFile(path, &error) : vis.readFile(path, &error)));
        QVERIFY2(QString::fromStdString(error).startsWith(QString::fromStdString(path) + ": " + reason),
                 error.c_str());
    }

    void clustersKeepTheirSize_data()
    {
        QTest::addColumn<int>("views");
        QTest::addColumn<int>("maxSize");
        QTest::addColumn<int>("clusters");
        QTest::newRow("small set, one cluster") << 9 << 10 << 1;
        QTest::newRow("twelve in tens") << 12 << 10 << 2;
        QTest::newRow("long strip") << 40 << 10 << 7;
    }
    void clustersKeepTheirSize()
    {
        QFETCH(int, views);
        QFETCH(int, maxSize);
        QFETCH(int, clusters);
        // A strip of views, each sharing most with its nearest ones.
        std::vector<std::vector<int>> shared(size_t(views), std::vector<int>(size_t(views), 0));
        for (int i = 0; i < views; ++i)
            for (int j = 0; j < views; ++j)
                if (i != j && std::abs(i - j) <= 3)
                    shared[size_t(i)][size_t(j)] = 100 / std::abs(i - j);
        const ImageClusters split = ImageClusters::split(shared, maxSize);
        QCOMPARE(int(split.clusters.size()), clusters);
        std::multiset<int> targets;
        for (const auto& c : split.clusters) {
            QVERIFY(int(c.targets.size() + c.others.size()) <= maxSize);
            targets.insert(c.targets.begin(), c.targets.end());
            for (int o : c.others)
                QVERIFY(std::find(c.targets.begin(), c.targets.end(), o) == c.targets.end());
        }
        QCOMPARE(int(targets.size()), views);
        QCOMPARE(int(std::set<int>(targets.begin(), targets.end()).size()), views);

        std::istringstream text(split.text());
        ImageClusters back;
        QVERIFY(back.read(text));
        QCOMPARE(back.clusters.size(), split.clusters.size());
        QCOMPARE(back.clusters.back().others, split.clusters.back().others);
    }

    void visDataListsStrongestPartnersFirst()
    {
        BundlerFile bundle;
        bundle.cameras.resize(4);
        const auto point = [](std::vector<int> cams) {
            BundlerFile::Point p;
            for (int c : cams)
                p.views.push_back({c, 0, 0, 0});
            return p;
        };
        for (int i = 0; i < 10; ++i)
            bundle.points.push_back(point({0, 2}));
        for (int i = 0; i < 12; ++i)
            bundle.points.push_back(point({0, 1, 2}));
        for (int i = 0; i < 3; ++i)
            bundle.points.push_back(point({0, 3}));
        const VisData vis = VisData::fromBundle(bundle, 8);
        QCOMPARE(vis.partners[0], std::vector<int>({2, 1}));
        QVERIFY(vis.partners[3].empty());
        std::istringstream text(vis.text());
        VisData back;
        QVERIFY(back.read(text));
        QCOMPARE(back.partners, vis.partners);
    }

    // The file the workbench writes after a Bundler run: the filter's camera
    // count, not the grow section's.
    void workbenchMvsIniReads()
    {
        std::istringstream text(
            "[global]\ndirName='C:\\site\\cmpmvs\\data\\'\nprefix=''\nimgExt='jpg'\nncams=3\n"
            "width=6000\nheight=4000\nscale=1\n[grow]\nminNumOfConsistentCams=6\n[filter]\n"
            "minNumOfConsistentCams=2\n[DEM]\ndemW=8000\n\n#EOF\n");
        MvsIni ini;
        QVERIFY(ini.read(text));
        QCOMPARE(ini.value("global.dirName"), std::string("C:\\site\\cmpmvs\\data\\"));
        QCOMPARE(ini.value("global.prefix", "x"), std::string());
        QCOMPARE(ini.value("filter.minNumOfConsistentCams"), std::string("2"));
        QCOMPARE(ini.value("grow.minNumOfConsistentCams"), std::string("6"));
        std::istringstream broken("[global\n");
        QVERIFY(!ini.read(broken));
    }

    // What pmvs2 writes is what the workbench's reader takes: the layout of
    // 17 header lines, and survey coordinates as written.
    void cloudReadsBackThroughTheWorkbenchReader()
    {
        DenseCloud cloud;
        cloud.points.push_back({{512345.125, 4267890.5, 112.25}, {0, 0, 1}, {255, 128, 0}, 3});
        cloud.points.push_back({{-1.5e-7, 2, -3}, {0.6f, 0, -0.8f}, {1, 2, 3}, 4});
        const QByteArray text = QByteArray::fromStdString(cloud.plyText("pmvs2 option-0000"));
        const QList<QByteArray> lines = text.split('\n');
        QCOMPARE(lines.indexOf("end_header"), 16);
        QCOMPARE(lines[7], QByteArray("property float nx"));
        QVERIFY(lines.contains("element face 0"));

        QBuffer buffer;
        buffer.setData(text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QVERIFY(PlyReader::readPly(buffer, *vertices, *colours));
        QCOMPARE(int(vertices->size()), 2);
        QCOMPARE((*vertices)[0], osg::Vec3(512345.125f, 4267890.5f, 112.25f));
        QCOMPARE((*colours)[0], osg::Vec4(1.f, 128 / 255.f, 0.f, 1.f));
        QCOMPARE((*vertices)[1].z(), -3.f);
    }

    // Bundler's own conversion writes matrices that look down -z; they must
    // give the same pixels and a positive depth in front.
    // A ground sampled every 5 cm, a wall one point thick standing on it,
    // stray points at least a metre from both, a clump of two, and ground
    // points that only two views saw.
    void outlierFilterKeepsThinStructures()
    {
        DenseCloud cloud;
        std::mt19937 random(3);
        std::uniform_real_distribution<double> jitter(-0.01, 0.01), unit(0, 1);
        const auto add = [&cloud](double x, double y, double z, std::array<std::uint8_t, 3> colour,
                                  std::array<float, 3> normal, int views) {
            cloud.points.push_back({{x + 500000, y + 4100000, z + 300}, normal, colour, views});
        };
        const std::array<std::uint8_t, 3> ground{0, 255, 0}, wall{255, 0, 0}, stray{0, 0, 255},
            weak{255, 255, 0};
        for (int i = 0; i < 200; ++i)
            for (int j = 0; j < 200; ++j)
                add(0.05 * i + jitter(random), 0.05 * j + jitter(random), jitter(random), ground, {0, 0, 1},
                    (i * 200 + j) % 997 ? 3 : 2);
        size_t wallPoints = 0;
        for (int j = 40; j < 160; ++j)
            for (int k = 1; k < 60; ++k, ++wallPoints)
                add(5.0, 0.05 * j, 0.05 * k, wall, {1, 0, 0}, 4);
        size_t strays = 0;
        while (strays < 300) {
            const double x = 10 * unit(random), y = 10 * unit(random), z = 1 + 7 * unit(random);
            if (std::abs(x - 5) < 1 && y > 1 && y < 9 && z < 4)
                continue;
            add(x, y, z, stray, {0, 0, 1}, 3);
            ++strays;
        }
        add(2, 2, 5, stray, {0, 0, 1}, 5);
        add(2.01, 2, 5, stray, {0, 0, 1}, 5);
        for (auto& p : cloud.points)
            if (p.views == 2)
                p.colour = weak;

        OutlierFilter::Settings settings;
        settings.minViews = 3;
        const OutlierFilter::Result result = OutlierFilter::apply(cloud, settings);
        QVERIFY2(result.spacing > 0.03 && result.spacing < 0.06, qPrintable(QString::number(result.spacing)));
        std::map<std::array<std::uint8_t, 3>, size_t> kept;
        for (const auto& p : cloud.points) {
            ++kept[p.colour];
            if (p.colour == wall)
                QCOMPARE(p.normal, (std::array<float, 3>{1, 0, 0}));
        }
        QCOMPARE(kept[stray], size_t(0));
        QCOMPARE(kept[weak], size_t(0));
        QCOMPARE(kept[wall], wallPoints);
        QVERIFY2(kept[ground] >= size_t(0.999 * (40000 - 41)), qPrintable(QString::number(kept[ground])));
        QCOMPARE(result.fewViews, size_t(41));
    }

    void contourMatricesOfEitherHandedness()
    {
        BundlerFile::Camera c;
        c.focal = 700;
        c.rotation = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        c.translation = {0.1, -0.2, -5};
        MvsCamera ours;
        QVERIFY(MvsCamera::fromBundler(c, CameraIntrinsics::ofBundler(c, 640, 480), ours));
        MvsCamera::Matrix34 negated = ours.projection();
        for (double& v : negated)
            v *= -3.0;
        MvsCamera theirs;
        QVERIFY(theirs.setProjection(negated));
        const MvsCamera::Vec3 X = {0.3, 0.4, 1.0};
        double u0, v0, d0, u1, v1, d1;
        QVERIFY(ours.project(X, u0, v0, d0));
        QVERIFY(theirs.project(X, u1, v1, d1));
        QCOMPARE(u1, u0);
        QCOMPARE(v1, v0);
        QCOMPARE(d0, 4.0);
        double x, y;
        QVERIFY(c.project(X, x, y));
        // Bundler's coordinates count from the photo's centre, which lies
        // between pixels 319 and 320 (the sparse tools' keypoints have pixel
        // centres at whole numbers).
        QCOMPARE(u0, x + 319.5);
        QCOMPARE(v0, 239.5 - y);

        std::istringstream text(ours.contourText());
        MvsCamera read;
        QVERIFY(read.readContour(text));
        QCOMPARE(read.projection(), ours.projection());

        // Halving the image keeps pixel centres on pixel centres.
        MvsCamera sized = ours;
        sized.width = 640;
        sized.height = 480;
        const MvsCamera half = sized.atLevel(1);
        double u2, v2, d2;
        QVERIFY(half.project(X, u2, v2, d2));
        QCOMPARE(u2, (u0 + 0.5) / 2 - 0.5);
        QCOMPARE(half.width, 320);
        const auto back = half.backProject(u2, v2, d2);
        QVERIFY(std::abs(back[0] - X[0]) < 1e-12 && std::abs(back[2] - X[2]) < 1e-12);
    }
};

QTEST_GUILESS_MAIN(TestDenseFormats)
#include "tst_denseformats.moc"
