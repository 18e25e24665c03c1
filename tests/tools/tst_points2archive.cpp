#include <QtTest>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/PagedLOD>
#include <osg/ValueObject>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <sstream>

#include "core/formats/PlyReader.h"
#include "Points2Archive.h"
#include "core/formats/PtsReader.h"
#include "SharedData.h"

namespace
{

// x, y, z in survey coordinates, then red, green, blue.
using Point = std::array<double, 6>;

struct Archive {
    std::vector<Point> leaves;  // the deepest level: every point once
    std::vector<Point> samples; // what the paged nodes show from afar
    int pagedNodes = 0;
    int unreadFiles = 0;
    double pointCount = -1;
};

void addPoints(const osg::Geode& geode, const osg::Vec3d& origin, std::vector<Point>& out)
{
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        const osg::Geometry* g = geode.getDrawable(i)->asGeometry();
        const auto* v = dynamic_cast<const osg::Vec3Array*>(g->getVertexArray());
        const auto* c = dynamic_cast<const osg::Vec4ubArray*>(g->getColorArray());
        QVERIFY(v && c && v->size() == c->size());
        for (size_t k = 0; k < v->size(); ++k)
            out.push_back({origin.x() + (*v)[k].x(), origin.y() + (*v)[k].y(), origin.z() + (*v)[k].z(),
                           double((*c)[k].r()), double((*c)[k].g()), double((*c)[k].b())});
    }
}

// Nodes lie under transforms that move them to their centres (translations only).
void walk(osg::Node* node, const osg::Vec3d& origin, Archive& a)
{
    if (auto* paged = dynamic_cast<osg::PagedLOD*>(node)) {
        ++a.pagedNodes;
        QCOMPARE(paged->getNumChildren(), 1u);
        QVERIFY(paged->getChild(0)->asGeode());
        addPoints(*paged->getChild(0)->asGeode(), origin, a.samples);
        osg::ref_ptr<osg::Node> children =
            osgDB::readRefNodeFile(paged->getDatabasePath() + paged->getFileName(1));
        if (!children) {
            ++a.unreadFiles;
            return;
        }
        walk(children.get(), origin, a);
    } else if (osg::Geode* geode = node->asGeode()) {
        addPoints(*geode, origin, a.leaves);
    } else if (osg::Group* group = node->asGroup()) {
        osg::Vec3d inner = origin;
        if (auto* transform = dynamic_cast<osg::MatrixTransform*>(node))
            inner += transform->getMatrix().getTrans();
        for (unsigned i = 0; i < group->getNumChildren(); ++i)
            walk(group->getChild(i), inner, a);
    }
}

Archive readArchive(const QString& file)
{
    Archive a;
    osgDB::Registry::instance()->clearArchiveCache();
    osg::ref_ptr<osg::Node> root = osgDB::readRefNodeFile(file.toStdString());
    auto* top = dynamic_cast<osg::MatrixTransform*>(root.get());
    if (!top)
        return a;
    top->getUserValue("pointCount", a.pointCount);
    walk(top, osg::Vec3d(), a);
    osgDB::Registry::instance()->clearArchiveCache();
    return a;
}

// Same points, in any order, to within tolerance (colours exactly). Points
// that lie closer than the tolerance may come in either order.
bool samePoints(std::vector<Point> a, const std::vector<Point>& b, double tolerance, QString* why)
{
    if (a.size() != b.size()) {
        *why = QString("%1 points, expected %2").arg(a.size()).arg(b.size());
        return false;
    }
    std::sort(a.begin(), a.end());
    std::vector<bool> used(a.size(), false);
    for (const Point& p : b) {
        bool found = false;
        auto it = std::lower_bound(a.begin(), a.end(), Point{p[0] - tolerance, -1e300, -1e300, 0, 0, 0});
        for (; it != a.end() && (*it)[0] <= p[0] + tolerance && !found; ++it) {
            const size_t i = size_t(it - a.begin());
            bool near = !used[i];
            for (int k = 0; k < 6 && near; ++k)
                near = std::abs((*it)[k] - p[k]) <= (k < 3 ? tolerance : 0.0);
            if (near)
                used[i] = found = true;
        }
        if (!found) {
            *why = QString("nothing near %1 %2 %3 (colour %4 %5 %6)")
                       .arg(p[0], 0, 'g', 12)
                       .arg(p[1], 0, 'g', 12)
                       .arg(p[2], 0, 'g', 12)
                       .arg(p[3])
                       .arg(p[4])
                       .arg(p[5]);
            return false;
        }
    }
    return true;
}

std::vector<Point> fromArrays(const osg::Vec3Array& v, const osg::Vec4Array& c)
{
    std::vector<Point> points;
    for (size_t i = 0; i < v.size(); ++i)
        points.push_back({v[i].x(), v[i].y(), v[i].z(), std::round(c[i].r() * 255),
                          std::round(c[i].g() * 255), std::round(c[i].b() * 255)});
    return points;
}

QStringList filesIn(const QTemporaryDir& dir)
{
    QStringList files = QDir(dir.path()).entryList(QDir::Files);
    files.sort();
    return files;
}

// A deterministic cloud near survey coordinates, with some points sharing
// positions so the thinning has work to do.
std::vector<Point> makeCloud(int n)
{
    std::vector<Point> points;
    quint32 s = 12345;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / double(1 << 24);
    };
    for (int i = 0; i < n; ++i) {
        const double x = 512340.125 + std::round(next() * 40000) / 1000;
        const double y = 4123450.5 + std::round(next() * 25000) / 1000;
        const double z = 112.0 + std::round(next() * 5000) / 1000;
        points.push_back({x, y, z, double(i % 256), double((i / 7) % 256), double((i / 13) % 256)});
    }
    return points;
}

QByteArray asciiPly(const std::vector<Point>& points, const QByteArray& tail = QByteArray())
{
    QByteArray text = "ply\nformat ascii 1.0\ncomment made by the test\nelement vertex " +
                      QByteArray::number(int(points.size())) +
                      "\nproperty double x\nproperty double y\nproperty double z\n"
                      "property float nx\nproperty float ny\nproperty float nz\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                      "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
    for (const Point& p : points)
        text += QByteArray::number(p[0], 'f', 3) + ' ' + QByteArray::number(p[1], 'f', 3) + ' ' +
                QByteArray::number(p[2], 'f', 3) + " 0 0 1 " + QByteArray::number(int(p[3])) + ' ' +
                QByteArray::number(int(p[4])) + ' ' + QByteArray::number(int(p[5])) + " 255\n";
    return text + tail;
}

QByteArray binaryPly(const std::vector<Point>& points, bool bigEndian)
{
    QByteArray text = QByteArray("ply\nformat ") +
                      (bigEndian ? "binary_big_endian" : "binary_little_endian") + " 1.0\nelement vertex " +
                      QByteArray::number(int(points.size())) +
                      "\nproperty double x\nproperty double y\nproperty double z\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n";
    for (const Point& p : points) {
        for (int k = 0; k < 3; ++k) {
            char bytes[8];
            std::memcpy(bytes, &p[size_t(k)], 8);
            if (bigEndian)
                std::reverse(bytes, bytes + 8);
            text.append(bytes, 8);
        }
        for (int k = 3; k < 6; ++k)
            text.append(char(int(p[size_t(k)])));
    }
    return text;
}

QByteArray xyzText(const std::vector<Point>& points)
{
    QByteArray text = "scan of the test\n" + QByteArray::number(int(points.size())) + "\n";
    for (const Point& p : points)
        text += QByteArray::number(p[0], 'f', 3) + ' ' + QByteArray::number(p[1], 'f', 3) + ' ' +
                QByteArray::number(p[2], 'f', 3) + " -1200 " + QByteArray::number(int(p[3])) + ' ' +
                QByteArray::number(int(p[4])) + ' ' + QByteArray::number(int(p[5])) + "\n";
    return text;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

ArchiveOptions optionsFor(const QString& input, const QString& output)
{
    ArchiveOptions o;
    std::string error;
    const std::vector<std::string> args = {"-i",
                                           input.toStdString(),
                                           "-o",
                                           output.toStdString(),
                                           "-input_format",
                                           "xyzrgbi",
                                           "-output_format",
                                           "xyzrgb",
                                           "-color_scale",
                                           "1.0",
                                           "-intensity_scale",
                                           "0.165",
                                           "-skip_header",
                                           "16"};
    o.parse(args, error);
    return o;
}

// Progress that raises the stop flag when a line holding a text goes by, as
// a signal would in the middle of the run.
class StopWhenSaid : public std::stringbuf
{
public:
    StopWhenSaid(const std::string& text, std::atomic<bool>& stop) : m_text(text), m_stop(stop) {}

protected:
    int sync() override
    {
        if (str().find(m_text) != std::string::npos)
            m_stop = true;
        return 0;
    }

private:
    std::string m_text;
    std::atomic<bool>& m_stop;
};

// Small nodes and a small memory budget, so a few thousand points make a
// tree several levels deep that is partly split on disk.
OctreeBuilder::Settings smallTree()
{
    OctreeBuilder::Settings s;
    s.leafPoints = 300;
    s.memoryPoints = 1500;
    s.sampleGrid = 8;
    return s;
}

} // namespace

class TestPoints2Archive : public QObject
{
    Q_OBJECT
private slots:
    void everyPointAtTheDeepestLevel_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("inputFormat");
        QTest::addColumn<int>("skipHeader");
        QTest::addColumn<bool>("smallTree");
        const std::vector<Point> cloud = makeCloud(5000);
        // The header says where the points start; -skip_header 16 does not.
        QTest::newRow("ASCII PLY, split on disk") << asciiPly(cloud) << "cloud.ply"
                                                  << "xyzrgbi" << 16 << true;
        QTest::newRow("ASCII PLY, one leaf") << asciiPly(cloud) << "cloud.ply"
                                             << "xyzrgbi" << 16 << false;
        QTest::newRow("binary little-endian PLY") << binaryPly(cloud, false) << "cloud.ply"
                                                  << "xyzrgbi" << 16 << true;
        QTest::newRow("binary big-endian PLY") << binaryPly(cloud, true) << "cloud.ply"
                                               << "xyzrgbi" << 16 << true;
        QTest::newRow("text columns after two header lines") << xyzText(cloud) << "cloud.txt"
                                                             << "xyzirgb" << 2 << true;
        // Faces after the vertices are not points; blocks of more than a
        // megabyte are parsed in two halves that must stop at the count.
        const std::vector<Point> big = makeCloud(40000);
        QTest::newRow("faces after 40000 vertices") << asciiPly(big, QByteArray("3 0 1 2\n").repeated(20000))
                                                           .replace("element face 0", "element face 20000")
                                                    << "big.ply"
                                                    << "xyzrgbi" << 16 << false;
        // One position many times over cannot be parted by space.
        QTest::newRow("one position 2000 times")
            << asciiPly(std::vector<Point>(2000, cloud.front())) << "same.ply"
            << "xyzrgbi" << 16 << true;
    }
    void everyPointAtTheDeepestLevel()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, name);
        QFETCH(QString, inputFormat);
        QFETCH(int, skipHeader);
        QFETCH(bool, smallTree);
        QTemporaryDir dir;
        const QString in = dir.filePath(name);
        QVERIFY(writeFile(in, input));
        ArchiveOptions options = optionsFor(in, dir.filePath("cloud.bin"));
        options.inputFormat = inputFormat.toStdString();
        options.skipHeader = skipHeader;
        std::ostringstream progress;
        std::string error;
        Points2Archive::Summary summary;
        const OctreeBuilder::Settings settings = smallTree ? ::smallTree() : OctreeBuilder::Settings();
        QVERIFY2(Points2Archive::run(options, progress, error, settings, &summary), error.c_str());

        // Only the archive is left: no intermediate, no pieces, no partial archive.
        QStringList wanted = {name, "cloud.osga"};
        wanted.sort();
        QCOMPARE(filesIn(dir), wanted);
        const Archive a = readArchive(dir.filePath("cloud.osga"));
        QCOMPARE(a.unreadFiles, 0);
        QCOMPARE(a.pointCount, double(summary.points));
        QCOMPARE(a.pagedNodes > 0, summary.points > settings.leafPoints);

        std::vector<Point> expected;
        const int n = int(summary.points);
        QVERIFY(n >= 2000);
        // What went in, read back from the same bytes the test wrote.
        if (name.endsWith(".txt")) {
            const QList<QByteArray> rows = input.split('\n').mid(skipHeader);
            for (const QByteArray& row : rows) {
                const QList<QByteArray> v = row.split(' ');
                if (v.size() == 7)
                    expected.push_back({v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[4].toDouble(),
                                        v[5].toDouble(), v[6].toDouble()});
            }
        } else {
            expected = name == "same.ply" ? std::vector<Point>(2000, makeCloud(1).front())
                                          : makeCloud(name == "big.ply" ? 40000 : 5000);
        }
        QString why;
        QVERIFY2(samePoints(a.leaves, expected, 1e-4, &why), qPrintable(why));

        // The samples thin the points below them and invent none.
        if (smallTree) {
            QVERIFY(!a.samples.empty());
            std::vector<Point> sorted = expected;
            std::sort(sorted.begin(), sorted.end());
            for (const Point& s : a.samples) {
                const auto near = std::lower_bound(sorted.begin(), sorted.end(),
                                                   Point{s[0] - 1e-4, -1e300, -1e300, 0, 0, 0});
                bool found = false;
                for (auto it = near; it != sorted.end() && it->at(0) <= s[0] + 1e-4 && !found; ++it)
                    found = std::abs(it->at(1) - s[1]) < 1e-4 && std::abs(it->at(2) - s[2]) < 1e-4;
                QVERIFY(found);
            }
        }
    }

    // A stray 0,0,0 ahead of a survey cloud made every point a float offset
    // from it: 25 cm steps at UTM northings.
    void strayFirstPointCostsNoPrecision()
    {
        std::vector<Point> cloud = makeCloud(5000);
        cloud.insert(cloud.begin(), Point{0, 0, 0, 1, 2, 3});
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("stray.ply"), asciiPly(cloud)));
        std::ostringstream progress;
        std::string error;
        QVERIFY2(Points2Archive::run(optionsFor(dir.filePath("stray.ply"), dir.filePath("stray.bin")),
                                     progress, error, smallTree()),
                 error.c_str());
        const Archive a = readArchive(dir.filePath("stray.osga"));
        QString why;
        QVERIFY2(samePoints(a.leaves, cloud, 1e-4, &why), qPrintable(why));
    }

    // Stopped in the middle (the workbench quits): no intermediate, no
    // pieces of nodes, no partial archive stay behind.
    void stoppedRunLeavesNoPieces_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("while reading") << "Points2Archive: reading";
        QTest::newRow("pieces on disk") << "placed";
    }
    void stoppedRunLeavesNoPieces()
    {
        QFETCH(QString, when);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("cloud.ply"), asciiPly(makeCloud(5000))));
        std::atomic<bool> stop{false};
        StopWhenSaid buffer(when.toStdString(), stop);
        std::ostream progress(&buffer);
        OctreeBuilder::Settings settings = smallTree();
        settings.threads = 1;
        settings.stop = &stop;
        std::string error;
        QVERIFY(!Points2Archive::run(optionsFor(dir.filePath("cloud.ply"), dir.filePath("cloud.bin")),
                                     progress, error, settings));
        QCOMPARE(QString::fromStdString(error), QString("stopped"));
        QCOMPARE(filesIn(dir), QStringList{"cloud.ply"});
    }

    // Clouds from other tools, read back against the workbench's own readers.
    void realCloudsKeepEveryPoint_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("inputFormat");
        QTest::addColumn<int>("skipHeader");
        QTest::newRow("MeshLab, normals and alpha") << "ply/kermit_pmvs_meshlab_ascii.ply"
                                                    << "xyzrgbi" << 16;
        QTest::newRow("PMVS, diffuse colours") << "ply/kermit_pmvs_option-0000.ply"
                                               << "xyzrgbi" << 16;
        QTest::newRow("Bundler, faces first") << "ply/kermit_bundler_points010.ply"
                                              << "xyzrgbi" << 16;
        QTest::newRow("PTS as text columns") << "pts/pdal_autzen.pts"
                                             << "xyzirgb" << 1;
    }
    void realCloudsKeepEveryPoint()
    {
        QFETCH(QString, file);
        QFETCH(QString, inputFormat);
        QFETCH(int, skipHeader);
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        ArchiveOptions options = optionsFor(SharedData::path(file), dir.filePath("cloud.bin"));
        options.inputFormat = inputFormat.toStdString();
        options.skipHeader = skipHeader;
        std::ostringstream progress;
        std::string error;
        QVERIFY2(Points2Archive::run(options, progress, error, smallTree()), error.c_str());

        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        if (file.endsWith(".pts"))
            QVERIFY(PtsReader::readPts(SharedData::path(file), *vertices, *colours));
        else
            QVERIFY(PlyReader::readPly(SharedData::path(file), *vertices, *colours));
        const Archive a = readArchive(dir.filePath("cloud.osga"));
        QCOMPARE(a.unreadFiles, 0);
        QString why;
        // The workbench's readers keep floats; the archive keeps more.
        const double extent = vertices->size() ? std::abs((*vertices)[0].x()) + 1.0 : 1.0;
        QVERIFY2(samePoints(a.leaves, fromArrays(*vertices, *colours), extent * 1e-6, &why), qPrintable(why));
    }

    void badInputSaysWhyAndLeavesNothing_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("reason");
        const QByteArray three = asciiPly(makeCloud(3));
        QList<QByteArray> lines = three.split('\n');
        QList<QByteArray> last = lines[lines.size() - 2].split(' ');
        last[6] = "red";
        lines[lines.size() - 2] = last.join(' ');
        const QByteArray word = lines.join('\n');
        QTest::newRow("a word among the numbers") << word << "line 20: value 7 is not a number";
        QByteArray shortLine = three;
        shortLine.insert(shortLine.indexOf("end_header\n") + 11, "1 2 3\n");
        QTest::newRow("a short vertex line") << shortLine << "line 18: expected at least 9 values, found 3";
        QTest::newRow("fewer vertices than declared")
            << QByteArray(three).replace("element vertex 3", "element vertex 10")
            << "ends after 3 of 10 vertices";
        QTest::newRow("a count far beyond the file")
            << QByteArray(three).replace("element vertex 3", "element vertex 999999999999999")
            << "ends after 3 of 999999999999999 vertices";
        QTest::newRow("no end_header")
            << QByteArray(three).replace("end_header", "end_headers") << "no end_header";
        QTest::newRow("no vertices") << QByteArray(asciiPly({})) << "no points";
        QByteArray nan = binaryPly(makeCloud(3), false);
        const double notANumber = std::nan("");
        nan.replace(nan.indexOf("end_header\n") + 11 + 27, 8,
                    QByteArray(reinterpret_cast<const char*>(&notANumber), 8));
        QTest::newRow("binary, not a number") << nan << "vertex 2: coordinate out of range";
        QTest::newRow("binary, cut short")
            << binaryPly(makeCloud(3), false).chopped(20) << "ends after 2 of 3 vertices";
        QTest::newRow("empty text") << QByteArray() << "no points";
    }
    void badInputSaysWhyAndLeavesNothing()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("bad.ply"), input));
        std::ostringstream progress;
        std::string error;
        QVERIFY(!Points2Archive::run(optionsFor(dir.filePath("bad.ply"), dir.filePath("bad.bin")), progress,
                                     error, smallTree()));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
        QCOMPARE(filesIn(dir), QStringList{"bad.ply"});
    }

    // The program as the workbench starts it: exit code 0 and the archive,
    // or non-zero and one line on standard error.
    void programExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("converts") << QStringList{"-i", "in.ply", "-o", "in.bin", "-skip_header", "16"} << 0
                                  << "";
        QTest::newRow("no output named") << QStringList{"-i", "in.ply"} << 2 << "both -i and -o are needed";
        QTest::newRow("missing input")
            << QStringList{"-i", "none.ply", "-o", "none.bin"} << 1 << "cannot open none.ply";
    }
    void programExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("in.ply"), asciiPly(makeCloud(50))));
        QProcess tool;
        tool.setWorkingDirectory(dir.path());
        tool.start(QStringLiteral(ORVALIS_APP_DIR "/Points2Archive"), arguments);
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), exitCode);
        const QList<QByteArray> errors = tool.readAllStandardError().trimmed().split('\n');
        if (exitCode == 0) {
            QVERIFY(QFile::exists(dir.filePath("in.osga")));
            QVERIFY(!QFile::exists(dir.filePath("in.bin")));
            QVERIFY(tool.readAllStandardOutput().contains("wrote in.osga: 50 points"));
        } else {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.first().startsWith("Points2Archive: ") &&
                         errors.first().contains(reason.toUtf8()),
                     errors.first().constData());
            QVERIFY(!QFile::exists(dir.filePath("in.osga")));
        }
    }
};

QTEST_GUILESS_MAIN(TestPoints2Archive)
#include "tst_points2archive.moc"
