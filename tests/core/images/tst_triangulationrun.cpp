#include <QTemporaryDir>
#include <QtTest>

#include "core/platform/ExternalTools.h"
#include "core/images/TriangulationRun.h"
#include "core/platform/ScriptProcess.h"
#include "ui/SfmToolDoubles.h"

namespace
{

ImagePick pick(int camera, int x, int y)
{
    ImagePick p;
    p.cameraIndex = camera;
    p.x = x;
    p.y = y;
    return p;
}

} // namespace

class TestTriangulationRun : public QObject
{
    Q_OBJECT
private slots:
    void commandLineNamesTheConvertedBundle()
    {
        QCOMPARE(
            TriangulationRun::commandLine("/opt/orvalis", "/data/site/", pick(3, 120, 45), pick(7, 88, 61)),
            QString("\\opt\\orvalis\\SfM\\Triangulate\\RadialUndistort.exe "
                    "\\data\\site\\sparse-converted-list.txt \\data\\site\\sparse-converted.out "
                    "\\data\\site\\ 3 120 45 7 88 61"));
        // A folder with blanks stays one word.
        QVERIFY(TriangulationRun::commandLine("/opt/orvalis", "/data/my site/", pick(0, 1, 2), pick(1, 3, 4))
                    .contains("\"\\data\\my site\\sparse-converted.out\""));
    }

    void outputGivesAPointOnlyWithThreeNumbers_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("ok");
        QTest::newRow("point") << QByteArray("1.5,-2.25,512345.678\n") << true;
        QTest::newRow("after other lines") << QByteArray("loading\r\n1.5, -2.25, 512345.678\r\n") << true;
        QTest::newRow("two numbers") << QByteArray("1.5,-2.25\n") << false;
        QTest::newRow("words") << QByteArray("cannot read the bundle\n") << false;
        QTest::newRow("number with letters") << QByteArray("1.5,2x,3\n") << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }
    void outputGivesAPointOnlyWithThreeNumbers()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, ok);
        const TriangulationRun::Result r = TriangulationRun::parse(output);
        QCOMPARE(r.ok, ok);
        if (ok)
            QCOMPARE(r.point, osg::Vec3d(1.5, -2.25, 512345.678));
        else
            QVERIFY(!r.reason.isEmpty());
    }

    // The tool runs through the command interpreter with the observations as
    // arguments; a failing, hanging or babbling tool gives no point and says why.
    void toolRuns_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("reason");
        QTest::newRow("prints the point") << QByteArray("echo \"$4.5,$5,$9\"") << true << QString();
        QTest::newRow("fails") << QByteArray("echo 'RadialUndistort: neither file exists' >&2\nexit 1")
                               << false << "failed (exit code 1): RadialUndistort: neither file exists";
        QTest::newRow("hangs") << QByteArray("exec sleep 5") << false << "no answer within 0.5 s";
        QTest::newRow("prints garbage") << QByteArray("echo 'done.'") << false << "printed no point: done.";
        QTest::newRow("missing") << QByteArray() << false << "not recognized";
    }
    void toolRuns()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        QFETCH(QString, reason);
        SfmToolDoubles tools;
        if (!body.isEmpty())
            tools.install(ExternalTools::Tool::TriangulationUndistort, body);
        QTemporaryDir images;
        ScriptProcess process;
        const TriangulationRun::Result r = TriangulationRun::run(process, tools.appDir(), images.path() + "/",
                                                                 pick(3, 120, 45), pick(7, 88, 61), 500);
        QCOMPARE(r.ok, ok);
        QVERIFY2(r.reason.contains(reason), qPrintable(r.reason));
        if (ok)
            QCOMPARE(r.point, osg::Vec3d(3.5, 120, 61));
    }
};

QTEST_GUILESS_MAIN(TestTriangulationRun)
#include "tst_triangulationrun.moc"
