#include "LayerType.h"

#include <QTemporaryDir>
#include <QtTest>

namespace
{

QString polygonsKind(const QString&)
{
    return QStringLiteral("Polygons");
}

QString unknownKind(const QString&)
{
    return QStringLiteral("Sketch");
}

} // namespace

class TestLayerType : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ruleOrder_data();
    void ruleOrder();
    void kmlKindTestHook();
    void codesAsSavedInProjects();

private:
    QTemporaryDir m_dir;
};

void TestLayerType::initTestCase()
{
    QFile mesh(m_dir.filePath("mesh.ply"));
    QVERIFY(mesh.open(QIODevice::WriteOnly));
    mesh.write("ply\nformat ascii 1.0\nelement vertex 3\nelement face 12\nend_header\n");
    QFile cloud(m_dir.filePath("cloud.ply"));
    QVERIFY(cloud.open(QIODevice::WriteOnly));
    cloud.write("ply\nformat ascii 1.0\nelement vertex 3\nelement face 0\nend_header\n");
}

void TestLayerType::ruleOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");
    const QString dir = m_dir.path() + "/";

    QTest::newRow("nvm") << "/site/sparse.nvm" << int(LayerType::Bundle);
    QTest::newRow("out") << "/site/bundle/bundle.out" << int(LayerType::Bundle);
    QTest::newRow("folder run.output makes every file a bundle")
        << "/site/run.output/cloud.pts" << int(LayerType::Bundle);
    QTest::newRow("ply in run.output") << "/site/run.output/mesh.ply" << int(LayerType::Bundle);
    QTest::newRow("ply mesh") << dir + "mesh.ply" << int(LayerType::Mesh);
    QTest::newRow("ply cloud") << dir + "cloud.ply" << int(LayerType::PointCloud);
    QTest::newRow("missing ply is a cloud") << dir + "gone.ply" << int(LayerType::PointCloud);
    QTest::newRow("SCAN.PLY matches nothing") << "/site/SCAN.PLY" << int(LayerType::None);
    QTest::newRow("patch") << "/site/pmvs/models/option-0000.patch" << int(LayerType::PointCloud);
    QTest::newRow("pts") << "/site/scan.pts" << int(LayerType::PointCloud);
    QTest::newRow("xyb") << "/site/scan.xyb" << int(LayerType::PointCloud);
    QTest::newRow("osga before osg") << "/site/site.osga" << int(LayerType::PointCloud);
    QTest::newRow("osgb before osg") << "/site/site.osgb" << int(LayerType::Terrain);
    QTest::newRow("osg") << "/site/site.osg" << int(LayerType::Mesh);
    QTest::newRow("osgt contains .osg") << "/site/site.osgt" << int(LayerType::Mesh);
    QTest::newRow("obj") << "/site/trench.obj" << int(LayerType::Mesh);
    QTest::newRow("kml without kind test") << "/site/day1.kml" << int(LayerType::Points);
    QTest::newRow("ant") << "/site/notes.ant" << int(LayerType::Annotation);
    QTest::newRow("pts before osgb") << "/site/a.pts.osgb" << int(LayerType::PointCloud);
    QTest::newRow("text file") << "/site/readme.txt" << int(LayerType::None);
    QTest::newRow("no extension") << "/site/cloud" << int(LayerType::None);
}

void TestLayerType::ruleOrder()
{
    QFETCH(QString, path);
    QFETCH(int, type);
    QCOMPARE(int(LayerType::typeOfFile(path)), type);
}

void TestLayerType::kmlKindTestHook()
{
    LayerType::setKmlKindTest(polygonsKind);
    QCOMPARE(LayerType::typeOfFile("/site/day1.kml"), LayerType::Polygons);
    QCOMPARE(LayerType::typeOfFile("/site/run.output/day1.kml"), LayerType::Bundle);
    LayerType::setKmlKindTest(unknownKind);
    QCOMPARE(LayerType::typeOfFile("/site/day1.kml"), LayerType::Points);
    LayerType::setKmlKindTest(nullptr);
    QCOMPARE(LayerType::typeOfFile("/site/day1.kml"), LayerType::Points);
}

void TestLayerType::codesAsSavedInProjects()
{
    // Project files store these codes and names; they must never move.
    const QList<QPair<QString, int>> table = {{"Mesh", 1},       {"PointCloud", 2}, {"Bundle", 6},
                                              {"Terrain", 10},   {"Points", 11},    {"Polygons", 12},
                                              {"Polylines", 13}, {"Annotation", 14}};
    QCOMPARE(int(std::size(LayerType::all)), table.size());
    for (int i = 0; i < table.size(); ++i) {
        QCOMPARE(int(LayerType::all[i]), table[i].second);
        QCOMPARE(LayerType::name(table[i].second), table[i].first);
        QCOMPARE(int(LayerType::code(table[i].first)), table[i].second);
    }
    for (int unused : {0, 3, 4, 5, 7, 8, 9, 15})
        QVERIFY(LayerType::name(unused).isEmpty());
    QCOMPARE(LayerType::code("pointcloud"), LayerType::None);
}

QTEST_GUILESS_MAIN(TestLayerType)
#include "tst_layertype.moc"
