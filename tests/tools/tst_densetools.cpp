#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include "ToolProcess.h"

// The dense tools as programs, called the way the workbench's scripts call
// them: a refusal is exit code 1 with one line that says why. (Whole runs:
// tst_densebox, and tst_densechain through the workbench.)
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

        // A placed camera whose rotation is all zero: no camera matrix can be made of it.
        cv::imwrite(m_dir.filePath("photo.jpg").toStdString(),
                    cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(128)));
        const QString photoList = write("photo-list.txt", "photo.jpg 0 500\n");
        const QString singular =
            write("singular.out", "# Bundle file v0.3\n1 0\n500 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 -5\n");

        QTest::newRow("argument missing") << bundler + "Bundle2PMVS" << QStringList{"a", "b"} << "usage";
        QTest::newRow("list missing")
            << bundler + "Bundle2PMVS" << QStringList{missing + "list.txt", garbage, folder} << "cannot open";
        QTest::newRow("not a bundle") << bundler + "RadialUndistort" << QStringList{empty, garbage, folder}
                                      << "not a Bundler v0.3 file";
        QTest::newRow("singular camera")
            << bundler + "Bundle2PMVS" << QStringList{photoList, singular, folder} << "singular";
        QTest::newRow("singular camera, CMPMVS road")
            << bundler + "Bundle2CMPMVS" << QStringList{photoList, singular, folder} << "singular";
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
};

QTEST_GUILESS_MAIN(TestDenseTools)
#include "tst_densetools.moc"
