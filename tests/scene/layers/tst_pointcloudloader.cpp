#include "core/formats/PlyReader.h"
#include "core/formats/PlyWriter.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/PointGeometry.h"
#include "core/formats/PointShift.h"

#include <osg/BufferObject>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/Point>
#include <osg/PolygonMode>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <iostream>
#include <sstream>

namespace
{

// Captures what the loader prints, which tells the branch it took.
class StdoutCapture
{
public:
    StdoutCapture() : m_old(std::cout.rdbuf(m_text.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(m_old); }
    QString text() const { return QString::fromStdString(m_text.str()); }

private:
    std::ostringstream m_text;
    std::streambuf* m_old;
};

void writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray floatBytes(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (float v : values) {
        quint32 bits;
        std::memcpy(&bits, &v, 4);
        char le[4];
        qToLittleEndian(bits, le);
        bytes.append(le, 4);
    }
    return bytes;
}

const QByteArray asciiPly =
    "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex 3\n"
    "property float x\nproperty float y\nproperty float z\n"
    "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
    "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
    "0 0 0 255 0 0 255\n1 0 0 0 255 0 255\n0 1 0 0 0 255 255\n";

const osg::Geometry* firstGeometry(const osg::Group* group)
{
    if (!group || group->getNumChildren() == 0 || !group->getChild(0)->asGeode())
        return nullptr;
    const osg::Geode* geode = group->getChild(0)->asGeode();
    return geode->getNumDrawables() ? geode->getDrawable(0)->asGeometry() : nullptr;
}

const osg::Vec3Array* verticesOf(const osg::Group* group)
{
    const osg::Geometry* geometry = firstGeometry(group);
    return geometry ? dynamic_cast<const osg::Vec3Array*>(geometry->getVertexArray()) : nullptr;
}

bool streams(const osg::Geometry* geometry)
{
    const osg::BufferObject* vbo = geometry->getVertexArray()->getBufferObject();
    return !geometry->getUseDisplayList() && geometry->getUseVertexBufferObjects() && vbo &&
           vbo->getUsage() == GL_STREAM_DRAW;
}

} // namespace

class TestPointCloudLoader : public QObject
{
    Q_OBJECT
private slots:
    void asciiPlyBuildsPointGeometry();
    void binaryPlyGoesThroughThePlugin();
    void refusedOrUnreadableFiles_data();
    void refusedOrUnreadableFiles();
    void ptsWithCompanionIsPlacedAndSavedOnce();
    void xybOfFiftyBytes();
    void pagedArchive();
    void writerOutputReadByOsgPlugin();
    void exportPointCloud();
    void surveyCloudKeepsItsMillimetres_data();
    void surveyCloudKeepsItsMillimetres();
    void localScanGeoreferencedToTheSurveyGrid();
    void denseCloudStandsWhereItsReconstructionStands_data();
    void denseCloudStandsWhereItsReconstructionStands();

private:
    QTemporaryDir m_dir;
};

void TestPointCloudLoader::asciiPlyBuildsPointGeometry()
{
    const QString name = m_dir.filePath("dense.ply");
    writeFile(name, asciiPly);
    StdoutCapture out;
    const PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(name);
    QVERIFY(out.text().contains("Bundle File is .patch\n"));
    QVERIFY(!out.text().contains("Reading PLY File"));
    QVERIFY(result.loaded);
    QVERIFY(!result.archive);

    const osg::StateSet* state = result.group->getStateSet();
    QVERIFY(state);
    QCOMPARE(state->getMode(GL_LIGHTING), osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    QCOMPARE(result.group->getNumChildren(), 1u);
    const osg::Geode* geode = result.group->getChild(0)->asGeode();
    QVERIFY(geode);
    QVERIFY(!geode->getCullingActive());
    QCOMPARE(geode->getNumDrawables(), 1u);

    const osg::Geometry* geometry = firstGeometry(result.group.get());
    QVERIFY(geometry);
    QVERIFY(streams(geometry));
    QCOMPARE(geometry->getColorArray()->getBinding(), osg::Array::BIND_PER_VERTEX);
    QCOMPARE(geometry->getNumPrimitiveSets(), 1u);
    const auto* points = dynamic_cast<const osg::DrawArrays*>(geometry->getPrimitiveSet(0));
    QVERIFY(points);
    QCOMPARE(points->getMode(), GLenum(GL_POINTS));
    QCOMPARE(points->getFirst(), 0);
    QCOMPARE(points->getCount(), 3);
    const auto* colours = dynamic_cast<const osg::Vec4Array*>(geometry->getColorArray());
    QVERIFY(colours && colours->size() == 3);
    QCOMPARE((*colours)[1], osg::Vec4(0, 1, 0, 1));
    QVERIFY(!state->getAttribute(osg::StateAttribute::POINT)); // no point size for clouds
}

void TestPointCloudLoader::binaryPlyGoesThroughThePlugin()
{
    const QString name = m_dir.filePath("binary.ply");
    QByteArray bytes = "ply\nformat binary_little_endian 1.0\nelement vertex 2\nproperty float x\n"
                       "property float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
                       "property uchar blue\nend_header\n";
    bytes += floatBytes({1, 2, 3}) + QByteArray("\xff\x00\x00", 3) + floatBytes({4, 5, 6}) +
             QByteArray("\x00\x00\xff", 3);
    writeFile(name, bytes);

    StdoutCapture out;
    const PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(name);
    QVERIFY(out.text().contains("Reading PLY File\n"));
    QVERIFY(!out.text().contains("Bundle File is .patch"));
    QVERIFY(result.loaded);
    const osg::Geometry* geometry = firstGeometry(result.group.get());
    QVERIFY(geometry);
    QVERIFY(streams(geometry));
    const osg::Vec3Array* vertices = verticesOf(result.group.get());
    QVERIFY(vertices && vertices->size() == 2);
    QCOMPARE((*vertices)[1], osg::Vec3(4, 5, 6));
}

void TestPointCloudLoader::refusedOrUnreadableFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("printed");

    QTest::newRow("PMVS patch file is no PLY")
        << "option-0000.patch" << QByteArray("PATCHES\n1\nPATCHS\n1 2 3 1\n0 0 1 0\n") << "not a PLY file";
    QTest::newRow("ASCII PLY with an unknown header")
        << "strange.ply"
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                      "whatever\nend_header\n1\n")
        << "unknown keyword";
    QTest::newRow("empty PTS") << "empty.pts" << QByteArray() << "not a point count";
    QTest::newRow("empty XYB") << "empty.xyb" << QByteArray() << "Total Points Read = 0";
    QTest::newRow("garbage for the plugin") << "noise.osgb" << QByteArray(4096, '\x17') << "";
    QTest::newRow("missing file") << "missing.ply" << QByteArray() << "";
}

void TestPointCloudLoader::refusedOrUnreadableFiles()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, printed);
    const QString name = m_dir.filePath(fileName);
    if (fileName != "missing.ply")
        writeFile(name, bytes);

    StdoutCapture out;
    const PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(name);
    QVERIFY2(out.text().contains(printed), qPrintable(out.text()));
    QVERIFY(!result.loaded);
    QVERIFY(result.group);
    // The user learns which file and why.
    QVERIFY2(result.message.startsWith(name + ": ") && result.message.size() > name.size() + 2,
             qPrintable(result.message));
    // No points anywhere under the group.
    for (unsigned i = 0; i < result.group->getNumChildren(); ++i) {
        const osg::Geode* geode = result.group->getChild(i)->asGeode();
        QVERIFY(geode);
        QCOMPARE(geode->getNumDrawables(), 0u);
    }
}

void TestPointCloudLoader::ptsWithCompanionIsPlacedAndSavedOnce()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("cloud.pts");
    writeFile(name, "2\n1 2 3 0 255 0 0\n0 0 0 0 0 0 255\n");
    writeFile(dir.filePath("cloud.txt"), "0 -1 0\n1 0 0\n0 0 1\n10 20 30\n2 5 7\n");

    PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(name);
    QVERIFY(result.loaded);
    const osg::Vec3Array* vertices = verticesOf(result.group.get());
    QVERIFY(vertices && vertices->size() == 2);
    QCOMPARE((*vertices)[0], osg::Vec3(6, 22, 36));
    const QString registered = dir.filePath("cloud_reg.ply");
    QVERIFY(QFile::exists(registered));

    writeFile(registered, asciiPly); // the user's copy from now on
    result = PointCloudLoader::loadPointCloud(name);
    QCOMPARE((*verticesOf(result.group.get()))[0], osg::Vec3(6, 22, 36));
    QFile copy(registered);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), asciiPly);
}

void TestPointCloudLoader::xybOfFiftyBytes()
{
    const QString name = m_dir.filePath("scan.xyb");
    writeFile(name, floatBytes({1, 2, 3, 1, 0, 0, 4, 5, 6, 0, 0, 1}) + "zz");
    const PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(name);
    QVERIFY(result.loaded);
    const osg::Geometry* geometry = firstGeometry(result.group.get());
    QVERIFY(geometry && streams(geometry));
    QCOMPARE(verticesOf(result.group.get())->size(), size_t(2));
    QCOMPARE(dynamic_cast<const osg::DrawArrays*>(geometry->getPrimitiveSet(0))->getCount(), 2);
}

void TestPointCloudLoader::pagedArchive()
{
    const QString tool = QStandardPaths::findExecutable("osgarchive");
    if (tool.isEmpty())
        QSKIP("osgarchive (Debian package openscenegraph) is not installed");

    QTemporaryDir dir;
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 100; ++i) {
        v->push_back(osg::Vec3(i, i % 10, 0));
        c->push_back(osg::Vec4(1, 0, 0, 1));
    }
    QVERIFY(osgDB::writeNodeFile(*PointGeometry::makeGeode(v.get(), c.get()),
                                 dir.filePath("tile.osgb").toStdString()));
    QProcess archive;
    archive.setWorkingDirectory(dir.path());
    archive.start(tool, {"--archive", "site.osga", "--insert", "tile.osgb"});
    QVERIFY(archive.waitForFinished(30000));
    QCOMPARE(archive.exitCode(), 0);

    StdoutCapture out;
    const PointCloudLoader::Result result = PointCloudLoader::loadPointCloud(dir.filePath("site.osga"));
    QVERIFY(out.text().contains("Reading OSGA File\n"));
    QVERIFY(out.text().contains("Read\n"));
    QVERIFY(result.archive);
    QVERIFY(result.loaded);
    QCOMPARE(result.group->getNumChildren(), 1u);
    const osg::Node* node = result.group->getChild(0);
    const osg::Geode* geode = node->asGeode();
    QVERIFY(geode && geode->getNumDrawables() == 1);
    QCOMPARE(geode->getDrawable(0)->asGeometry()->getVertexArray()->getNumElements(), 100u);

    const osg::StateSet* state = node->getStateSet();
    QVERIFY(state);
    QCOMPARE(state->getMode(GL_LIGHTING), osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    QCOMPARE(state->getMode(GL_BLEND), osg::StateAttribute::ON);
    QCOMPARE(state->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));
    const auto* point = dynamic_cast<const osg::Point*>(state->getAttribute(osg::StateAttribute::POINT));
    QVERIFY(point);
    QCOMPARE(point->getSize(), 1.0f);
    QCOMPARE(point->getMinSize(), 1.0f);
    QCOMPARE(point->getMaxSize(), 100.0f);
    QCOMPARE(point->getDistanceAttenuation(), osg::Vec3(1, 0.05f, 0));
    const auto* mode =
        dynamic_cast<const osg::PolygonMode*>(state->getAttribute(osg::StateAttribute::POLYGONMODE));
    QVERIFY(mode);
    QCOMPARE(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::POINT);
    QCOMPARE(mode->getMode(osg::PolygonMode::BACK), osg::PolygonMode::POINT);
}

void TestPointCloudLoader::writerOutputReadByOsgPlugin()
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 1000; ++i) {
        v->push_back(osg::Vec3(i * 0.37f - 100, i * -1.5f, 1e5f + i));
        c->push_back(osg::Vec4((i % 256) / 255.0f, ((i * 7) % 256) / 255.0f, 1, 1));
    }
    const QString name = m_dir.filePath("written.ply");
    QVERIFY(PlyWriter::writePly(name, *v, *c));

    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(name.toStdString());
    QVERIFY(node && node->asGeode());
    const osg::Geometry* geometry = node->asGeode()->getDrawable(0)->asGeometry();
    QVERIFY(geometry);
    const auto* readVertices = dynamic_cast<const osg::Vec3Array*>(geometry->getVertexArray());
    const auto* readColours = dynamic_cast<const osg::Vec4Array*>(geometry->getColorArray());
    QVERIFY(readVertices && readColours);
    QCOMPARE(readVertices->size(), v->size());
    QCOMPARE(readColours->size(), c->size());
    for (size_t i = 0; i < v->size(); ++i) {
        for (int k = 0; k < 3; ++k)
            QVERIFY(std::fabs((*readVertices)[i][k] - (*v)[i][k]) <= 5e-6f * std::fabs((*v)[i][k]) + 1e-6f);
        for (int k = 0; k < 3; ++k)
            QVERIFY(std::fabs((*readColours)[i][k] - (*c)[i][k]) < 1.0f / 255);
    }
}

void TestPointCloudLoader::exportPointCloud()
{
    const QString source = m_dir.filePath("export-source.ply");
    writeFile(source, asciiPly);
    const PointCloudLoader::Result cloud = PointCloudLoader::loadPointCloud(source);

    const QString target = m_dir.filePath("newselection_0.ply");
    QVERIFY(PointCloudLoader::exportPointCloud(target, cloud.group.get()));
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(target, *v, *c));
    QVERIFY(*v == *verticesOf(cloud.group.get()));
    QCOMPARE((*c)[2], osg::Vec4(0, 0, 1, 1));

    QString message;
    QVERIFY(!PointCloudLoader::exportPointCloud(m_dir.filePath("scan.pts"), cloud.group.get(), &message));
    QVERIFY(message.contains(".ply"));
    osg::ref_ptr<osg::Group> archiveLike = new osg::Group;
    archiveLike->addChild(new osg::Group);
    QVERIFY(!PointCloudLoader::exportPointCloud(target, archiveLike.get(), &message));
    QVERIFY(message.contains("no point arrays"));
}

Q_DECLARE_METATYPE(osg::Vec3d)

// Every reader hands survey coordinates to the scene relative to the origin
// it chose, so a point read as 712345.674 is still 712345.674 in the scene and
// in what is exported; files whose floats hold the coordinates (XYB, binary
// PLY) keep exactly those floats.
void TestPointCloudLoader::surveyCloudKeepsItsMillimetres_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<osg::Vec3d>("first");
    QTest::addColumn<osg::Vec3d>("second");
    const osg::Vec3d a(712345.674, 4123456.781, 101.752), b(711999.5, 4123000.25, 95);
    const QByteArray header = "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                              "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "end_header\n";
    QTest::newRow("ASCII PLY") << "utm.ply" << header + "712345.674 4123456.781 101.752 255 0 0\n"
                                                       "711999.5 4123000.25 95 0 0 255\n"
                               << a << b;
    QTest::newRow("PTS") << "utm.pts" << QByteArray("2\n712345.674 4123456.781 101.752 0 255 0 0\n"
                                                    "711999.5 4123000.25 95 0 0 0 255\n")
                         << a << b;
    const float fa[3] = {712345.674f, 4123456.781f, 101.752f};
    // What those floats hold: 712345.6875 and 4123456.75 exactly, and the
    // float nearest to 101.752 (which reads back as 101.752).
    const osg::Vec3d floats(712345.6875, 4123456.75, 101.752);
    QTest::newRow("XYB") << "utm.xyb"
                         << floatBytes({fa[0], fa[1], fa[2], 1, 0, 0, 711999.5f, 4123000.25f, 95, 0, 0, 1})
                         << floats << b;
    QByteArray binary = "ply\nformat binary_little_endian 1.0\nelement vertex 2\nproperty float x\n"
                        "property float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
                        "property uchar blue\nend_header\n";
    binary += floatBytes({fa[0], fa[1], fa[2]}) + QByteArray("\xff\x00\x00", 3) +
              floatBytes({711999.5f, 4123000.25f, 95}) + QByteArray("\x00\x00\xff", 3);
    QTest::newRow("binary PLY through the plug-in") << "utm-binary.ply" << binary
                                                    << floats << b;
}

void TestPointCloudLoader::surveyCloudKeepsItsMillimetres()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(osg::Vec3d, first);
    QFETCH(osg::Vec3d, second);
    const QString name = m_dir.filePath(fileName);
    writeFile(name, bytes);

    const PointCloudLoader::Result cloud = PointCloudLoader::loadPointCloud(name);
    QVERIFY2(cloud.loaded, qPrintable(cloud.message));
    QCOMPARE(cloud.shift.chosenOrigin().value(), osg::Vec3d(712000, 4123000, 0));
    const auto* placed = dynamic_cast<const osg::MatrixTransform*>(cloud.group.get());
    QVERIFY(placed);
    QCOMPARE(placed->getMatrix().getTrans(), osg::Vec3d(712000, 4123000, 0));
    const osg::Vec3Array* local = verticesOf(cloud.group.get());
    QVERIFY(local && local->size() == 2);
    QCOMPARE(cloud.shift.toWorld((*local)[0]), first);
    QCOMPARE(cloud.shift.toWorld((*local)[1]), second);

    // A scene that has its origin keeps it for the next cloud.
    const PointCloudLoader::Result again =
        PointCloudLoader::loadPointCloud(name, SceneOrigin(osg::Vec3d(711000, 4122000, 0)));
    QVERIFY(!again.shift.chosenOrigin().isSet());
    QCOMPARE(PointCloudLoader::offsetOf(again.group.get()), osg::Vec3d(711000, 4122000, 0));

    // Exported and read again: the same points to the last digit.
    const QString target = m_dir.filePath("exported-" + QFileInfo(fileName).completeBaseName() + ".ply");
    QVERIFY(PointCloudLoader::exportPointCloud(target, cloud.group.get()));
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    PointShift reread;
    QVERIFY(PlyReader::readPly(target, *v, *c, nullptr, &reread));
    QCOMPARE(reread.toWorld((*v)[0]), first);
    QCOMPARE(reread.toWorld((*v)[1]), second);

    // Other tools read the digits too: OpenSceneGraph's ply plug-in, to its floats.
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(target.toStdString());
    QVERIFY(node && node->asGeode());
    const auto* plugin =
        dynamic_cast<const osg::Vec3Array*>(node->asGeode()->getDrawable(0)->asGeometry()->getVertexArray());
    QVERIFY(plugin && plugin->size() == 2);
    QCOMPARE((*plugin)[0], osg::Vec3(first));
}

// A local scan placed on the survey grid by its companion: the points move
// in double and are kept relative to the origin, and the registered copy
// holds their survey coordinates.
void TestPointCloudLoader::localScanGeoreferencedToTheSurveyGrid()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("scan.pts");
    writeFile(name, "2\n1.25 2.5 0.125 0 255 0 0\n-3.5 0.75 1 0 0 0 255\n");
    writeFile(dir.filePath("scan.txt"), "1 0 0\n0 1 0\n0 0 1\n712345.5 4123456.25 100\n1 1 1\n");

    const PointCloudLoader::Result cloud = PointCloudLoader::loadPointCloud(name);
    QVERIFY(cloud.loaded);
    QCOMPARE(PointCloudLoader::offsetOf(cloud.group.get()), osg::Vec3d(712000, 4123000, 0));
    QCOMPARE(cloud.shift.toWorld((*verticesOf(cloud.group.get()))[0]), osg::Vec3d(712346.75, 4123458.75, 100.125));

    QFile registered(dir.filePath("scan_reg.ply"));
    QVERIFY(registered.open(QIODevice::ReadOnly));
    const QByteArray text = registered.readAll();
    QVERIFY2(text.endsWith("712346.75 4123458.75 100.125 255 0 0 255\n712342 4123457 101 0 0 255 255"),
             text.constData());
}

// The dense stage works in the reconstruction's frame: its clouds, and what
// was converted from them beside them, are placed by the reconstruction's
// georeference (rotated, scaled per axis, moved to survey coordinates), as
// its sparse points are; a cloud the user exported there is not moved again.
void TestPointCloudLoader::denseCloudStandsWhereItsReconstructionStands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("placed");
    QTest::newRow("PMVS cloud") << "option-0000.ply" << asciiPly << true;
    QTest::newRow("binary cloud")
        << "option-0001.ply"
        << QByteArray("ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
                      "property float x\nproperty float y\nproperty float z\nend_header\n") +
               floatBytes({0, 0, 0, 1, 0, 0, 0, 1, 0})
        << true;
    QTest::newRow("converted to PTS")
        << "option-0002.pts" << QByteArray("3\n0 0 0 0 255 0 0\n1 0 0 0 0 255 0\n0 1 0 0 0 0 255\n") << true;
    QTest::newRow("an export beside it") << "option-0000_export.ply" << asciiPly << false;
}

void TestPointCloudLoader::denseCloudStandsWhereItsReconstructionStands()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, placed);
    QTemporaryDir pipeline;
    QVERIFY(QDir(pipeline.path()).mkpath("pmvs/models"));
    writeFile(pipeline.filePath("sparse.nvm"), "NVM_V3\n\n0\n");
    // A quarter turn about the vertical, 2 m to a model unit (3 m in height), at survey coordinates.
    writeFile(pipeline.filePath("sparse.txt"),
              "0 -1 0\n1 0 0\n0 0 1\n712345.674 4123456.781 101.752\n2 2 3\n");
    const QString file = pipeline.filePath("pmvs/models/" + name);
    writeFile(file, bytes);

    const PointCloudLoader::Result cloud = PointCloudLoader::loadPointCloud(file);
    QVERIFY2(cloud.loaded, qPrintable(cloud.message));
    QCOMPARE(cloud.georeference.isEmpty(), !placed);
    // The three points (0 0 0), (1 0 0), (0 1 0) as the scene holds them.
    std::vector<osg::Vec3d> world;
    osg::ref_ptr<osg::Vec3Array> vertices;
    osg::ref_ptr<osg::Vec4Array> colours;
    QVERIFY(PointCloudLoader::extractArrays(cloud.group.get(), vertices, colours));
    QVERIFY(vertices && vertices->size() == 3);
    for (const osg::Vec3& v : *vertices)
        world.push_back(PointShift::toWorld(v, PointCloudLoader::offsetOf(cloud.group.get())));
    if (placed) {
        QCOMPARE(world[0], osg::Vec3d(712345.674, 4123456.781, 101.752));
        QCOMPARE(world[1], osg::Vec3d(712345.674, 4123458.781, 101.752));
        QCOMPARE(world[2], osg::Vec3d(712343.674, 4123456.781, 101.752));
    } else {
        QCOMPARE(world[1], osg::Vec3d(1, 0, 0));
    }
}

QTEST_MAIN(TestPointCloudLoader)
#include "tst_pointcloudloader.moc"
