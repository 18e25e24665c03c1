#include "core/formats/PlyReader.h"
#include "core/georef/PtsGeoReference.h"

#include <QTemporaryDir>
#include <QtTest>

#include "PointArrays.h"

namespace
{

using pointarrays::makeColours;
using pointarrays::makeVertices;

void writeFile(const QString& name, const QByteArray& text)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray readFile(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A quarter turn about z, shifted by (10, 20, 30); only the first scale
// component counts for PTS clouds.
const QByteArray companion = "0 -1 0\n1 0 0\n0 0 1\n10 20 30\n2 5 7\n";

} // namespace

class TestPtsGeoReference : public QObject
{
    Q_OBJECT
private slots:
    void registeredName_data();
    void registeredName();
    void movesPointsAndSavesOnce();
    void noCompanionChangesNothing();
    void unusableCompanionWritesNoCopy();
};

void TestPtsGeoReference::registeredName_data()
{
    QTest::addColumn<QString>("pts");
    QTest::addColumn<QString>("registered");
    QTest::newRow("plain") << "/site/cloud.pts"
                           << "/site/cloud_reg.ply";
    QTest::newRow("dots in folder") << "/a.b/scan.01.pts"
                                    << "/a.b/scan.01_reg.ply";
}

void TestPtsGeoReference::registeredName()
{
    QFETCH(QString, pts);
    QFETCH(QString, registered);
    QCOMPARE(PtsGeoReference::registeredFileName(pts), registered);
}

void TestPtsGeoReference::movesPointsAndSavesOnce()
{
    QTemporaryDir dir;
    const QString pts = dir.filePath("cloud.pts");
    writeFile(dir.filePath("cloud.txt"), companion);
    const QString registered = dir.filePath("cloud_reg.ply");

    osg::ref_ptr<osg::Vec3Array> v = makeVertices({osg::Vec3(1, 2, 3), osg::Vec3(0, 0, 0)});
    osg::ref_ptr<osg::Vec4Array> c = makeColours({osg::Vec4(1, 0, 0, 1), osg::Vec4(0, 0, 1, 1)});
    QCOMPARE(PtsGeoReference::apply(pts, *v, *c), PtsGeoReference::Outcome::AppliedAndSaved);
    // R·(1,2,3) = (-2, 1, 3), times 2, plus the shift.
    QCOMPARE((*v)[0], osg::Vec3(6, 22, 36));
    QCOMPARE((*v)[1], osg::Vec3(10, 20, 30));

    osg::ref_ptr<osg::Vec3Array> saved = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> savedColours = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(registered, *saved, *savedColours));
    QCOMPARE(saved->size(), size_t(2));
    QCOMPARE((*saved)[0], osg::Vec3(6, 22, 36));
    QCOMPARE((*savedColours)[1], osg::Vec4(0, 0, 1, 1));

    // The second load moves its points again but leaves the copy alone.
    const QByteArray first = readFile(registered);
    osg::ref_ptr<osg::Vec3Array> again = makeVertices({osg::Vec3(5, 5, 5)});
    QCOMPARE(PtsGeoReference::apply(pts, *again, *c), PtsGeoReference::Outcome::Applied);
    QCOMPARE((*again)[0], osg::Vec3(0, 30, 40));
    QCOMPARE(readFile(registered), first);
}

void TestPtsGeoReference::noCompanionChangesNothing()
{
    QTemporaryDir dir;
    osg::ref_ptr<osg::Vec3Array> v = makeVertices({osg::Vec3(1, 2, 3)});
    osg::ref_ptr<osg::Vec4Array> c = makeColours({osg::Vec4(1, 1, 1, 1)});
    QCOMPARE(PtsGeoReference::apply(dir.filePath("cloud.pts"), *v, *c),
             PtsGeoReference::Outcome::NoCompanion);
    QCOMPARE((*v)[0], osg::Vec3(1, 2, 3));
    QVERIFY(!QFile::exists(dir.filePath("cloud_reg.ply")));
}

void TestPtsGeoReference::unusableCompanionWritesNoCopy()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("cloud.txt"), "notes about the scan\n");
    osg::ref_ptr<osg::Vec3Array> v = makeVertices({osg::Vec3(1, 2, 3)});
    osg::ref_ptr<osg::Vec4Array> c = makeColours({osg::Vec4(1, 1, 1, 1)});
    QCOMPARE(PtsGeoReference::apply(dir.filePath("cloud.pts"), *v, *c), PtsGeoReference::Outcome::Unusable);
    QCOMPARE((*v)[0], osg::Vec3(1, 2, 3));
    QVERIFY(!QFile::exists(dir.filePath("cloud_reg.ply")));
}

QTEST_GUILESS_MAIN(TestPtsGeoReference)
#include "tst_ptsgeoreference.moc"
