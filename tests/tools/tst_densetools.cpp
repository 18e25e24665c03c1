#include <QtTest>

#include <cmath>

#include <osg/BoundingBox>

#include "BundlerFile.h"
#include "PlyReader.h"
#include "SharedData.h"
#include "ToolProcess.h"

// The dense tools as programs, called the way the workbench's scripts call
// them: a refusal is exit code 1 with one line that says why, and Bundler's
// kermit reconstruction goes all the way to a patch file the workbench reads.
class TestDenseTools : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& content)
    {
        QFile f(m_dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return ToolProcess::windows(f.fileName());
    }

private slots:
    void badInputIsRefusedWithOneLine_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        const QString bundler = "SfM/BundleAdjustment/Bundler/", pmvs = "SfM/DenseReconstruction/PMVS2/";
        const QString missing = ToolProcess::windows(m_dir.filePath("missing/"));
        const QString garbage = write("garbage.out", "PATCHES\n1\n");
        const QString empty = write("empty-list.txt", "");
        QDir().mkpath(m_dir.filePath("folder"));
        const QString folder = ToolProcess::windows(m_dir.filePath("folder/"));
        write("folder/bad-option", "level 1\ntimages 2 0\n");
        write("folder/option-9", "timages 1 99\n");

        QTest::newRow("argument missing") << bundler + "Bundle2PMVS" << QStringList{"a", "b"} << "usage";
        QTest::newRow("list missing")
            << bundler + "Bundle2PMVS" << QStringList{missing + "list.txt", garbage, folder} << "cannot open";
        QTest::newRow("not a bundle") << bundler + "RadialUndistort" << QStringList{empty, garbage, folder}
                                      << "not a Bundler v0.3 file";
        QTest::newRow("vis of garbage") << bundler + "Bundle2Vis" << QStringList{garbage, folder + "vis.dat"}
                                        << "not a Bundler v0.3 file";
        QTest::newRow("cluster size in words")
            << pmvs + "cmvs" << QStringList{folder, "ten", "2"} << "cluster size";
        QTest::newRow("options before clusters")
            << pmvs + "genOption" << QStringList{folder, "1", "2", "0.7", "7", "3", "2"} << "ske.dat";
        QTest::newRow("truncated option file")
            << pmvs + "pmvs2" << QStringList{folder, "bad-option"} << "bad value for timages";
        QTest::newRow("option outside the folder")
            << pmvs + "pmvs2" << QStringList{folder, "..\\option-0000"} << "inside the folder";
        QTest::newRow("unprepared folder")
            << pmvs + "pmvs2" << QStringList{folder, "option-9"} << "no camera file";
        QTest::newRow("ini missing") << "SfM/DenseReconstruction/CMPMVS/CMPMVS"
                                     << QStringList{missing + "mvs.ini"} << "cannot open";
        QTest::newRow("ini without data folder")
            << "SfM/DenseReconstruction/CMPMVS/CMPMVS" << QStringList{write("mvs.ini", "[global]\nscale=1\n")}
            << "dirName";
    }
    void badInputIsRefusedWithOneLine()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        const ToolProcess run = ToolProcess::run(tool, arguments);
        QCOMPARE(run.exitCode, 1);
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(reason), qPrintable(lines.first()));
        QVERIFY(lines.first().startsWith(tool.mid(tool.lastIndexOf('/') + 1) + ": "));
    }

    // Bundler's kermit run (two cameras unplaced) through every step of
    // prepare_pmvs2.bat and pmvs_all.bat: the patch file holds a dense cloud
    // on which the sparse points lie.
    void kermitBundlerRunBecomesAPatchFile()
    {
        REQUIRE_SHARED_DATA();
        BundlerFile bundle;
        QVERIFY(bundle.readFile(SharedData::path("bundler/kermit_bundler_example.out").toStdString()));
        for (const char* folder : {"kermit/pmvs/txt", "kermit/pmvs/visualize", "kermit/pmvs/models"})
            QVERIFY(QDir().mkpath(m_dir.filePath(folder)));
        QByteArray listText;
        for (int i = 0; i < 11; ++i)
            listText +=
                SharedData::path(QString("images/kermit/kermit%1.jpg").arg(i, 3, 10, QChar('0'))).toUtf8() +
                " 0 " + QByteArray::number(bundle.cameras[size_t(i)].focal, 'g', 17) + "\n";
        const QString list = write("kermit/listfocal.txt", listText);
        const QString out = ToolProcess::windows(SharedData::path("bundler/kermit_bundler_example.out"));
        const QString pmvs = ToolProcess::windows(m_dir.filePath("kermit/pmvs/"));
        const QString bundler = "SfM/BundleAdjustment/Bundler/", pmvs2 = "SfM/DenseReconstruction/PMVS2/";
        const QList<QPair<QString, QStringList>> steps = {
            {bundler + "Bundle2PMVS", {list, out, pmvs}},
            {bundler + "RadialUndistort", {list, out, pmvs}},
            {bundler + "Bundle2Vis", {pmvs + "bundle.rd.out", pmvs + "vis.dat"}},
            {pmvs2 + "cmvs", {pmvs, "10", "2"}},
            {pmvs2 + "genOption", {pmvs, "1", "2", "0.7", "7", "3", "2"}},
            {"orvcmd", {"/c", pmvs + "pmvs_all.bat"}},
        };
        for (const auto& step : steps) {
            const ToolProcess run = ToolProcess::run(step.first, step.second);
            QVERIFY2(run.exitCode == 0, qPrintable(step.first + ": " + run.err));
        }
        QVERIFY(QFile::exists(m_dir.filePath("kermit/pmvs/visualize/00000008.jpg")));
        QVERIFY(!QFile::exists(m_dir.filePath("kermit/pmvs/option-0001")));

        osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QVERIFY(
            PlyReader::readPly(m_dir.filePath("kermit/pmvs/models/option-0000.patch"), *points, *colours));
        const osg::Vec3Array& dense = *points;
        QVERIFY2(dense.size() > 10000, qPrintable(QString::number(dense.size())));
        QVERIFY(QFile::exists(m_dir.filePath("kermit/pmvs/models/option-0000.ply")));

        // Sparse points seen by three or more cameras lie on the surface the
        // dense cloud covers: most have a dense point within 1% of the
        // scene's extent.
        osg::BoundingBox box;
        for (const auto& p : dense)
            box.expandBy(p);
        const float near = 0.01f * box.radius() * 2;
        int seen = 0, close = 0;
        for (const auto& p : bundle.points) {
            if (p.views.size() < 3)
                continue;
            const osg::Vec3 sparse(float(p.position[0]), float(p.position[1]), float(p.position[2]));
            ++seen;
            for (const auto& q : dense)
                if ((q - sparse).length2() < near * near) {
                    ++close;
                    break;
                }
        }
        QVERIFY2(close >= 0.8 * seen, qPrintable(QString("%1 of %2").arg(close).arg(seen)));
    }
};

QTEST_GUILESS_MAIN(TestDenseTools)
#include "tst_densetools.moc"
