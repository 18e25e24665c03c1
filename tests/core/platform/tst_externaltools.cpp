#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include "core/platform/ExternalTools.h"

using Tool = ExternalTools::Tool;

class TestExternalTools : public QObject
{
    Q_OBJECT
private slots:
    void places_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("script");
        QTest::newRow("exiftool") << int(Tool::ExifTool) << "C:\\Orvalis\\SfM\\Undistort\\exiftool.exe";
        QTest::newRow("triangulation")
            << int(Tool::TriangulationUndistort) << "C:\\Orvalis\\SfM\\Triangulate\\RadialUndistort.exe";
        QTest::newRow("SiftGPU") << int(Tool::SiftGpu)
                                 << "C:\\Orvalis\\SfM\\FeatureDetectors\\SiftGPUMax.exe";
        QTest::newRow("bundle2cmpmvs") << int(Tool::Bundle2CmpmvsLower)
                                       << "C:\\Orvalis\\SfM\\BundleAdjustment\\Bundler\\bundle2cmpmvs.exe";
        QTest::newRow("PBA driver") << int(Tool::PbaDriver)
                                    << "C:\\Orvalis\\SfM\\BundleAdjustment\\PBA\\driver_x64.exe";
        QTest::newRow("CMPMVS") << int(Tool::Cmpmvs)
                                << "C:\\Orvalis\\SfM\\DenseReconstruction\\CMPMVS\\CMPMVS.exe";
        QTest::newRow("Points2Archive beside the program")
            << int(Tool::Points2Archive) << "C:\\Orvalis\\Points2Archive.exe";
        QTest::newRow("OrthoDsm beside the program") << int(Tool::OrthoDsm) << "C:\\Orvalis\\OrthoDsm.exe";
        QTest::newRow("PMVS has no place of its own") << int(Tool::Pmvs) << "";
    }
    void places()
    {
        QFETCH(int, tool);
        QFETCH(QString, script);
        QCOMPARE(ExternalTools::scriptPath(Tool(tool), "C:/Orvalis"), script);
        QString forward = script;
        forward.replace('\\', '/');
        QCOMPARE(ExternalTools::path(Tool(tool), "C:/Orvalis"), forward);
    }

    void tableIsComplete()
    {
        QSet<int> tools;
        QSet<QString> paths;
        for (const auto& e : ExternalTools::table()) {
            QVERIFY2(!tools.contains(int(e.tool)), e.name);
            tools.insert(int(e.tool));
            const QString p = QString::fromLatin1(e.relativePath);
            if (p.isEmpty())
                continue;
            QVERIFY2(!paths.contains(p), e.name);
            paths.insert(p);
            QVERIFY2(p.startsWith("SfM/") || !p.contains('/'), e.name);
            QVERIFY(!p.contains('\\'));
        }
        // One row per enumerator, nothing left without a place to look up.
        QCOMPARE(tools.size(), int(Tool::Cmpmvs) + 1);
    }

    // The build lays the tree out in the application folder (tools/sfm).
    void treeLaidOutInAppFolder()
    {
        const QDir app(QStringLiteral(ORVALIS_APP_DIR));
        if (!app.exists("SfM"))
            QSKIP("this build does not lay out the SfM tree (tools/sfm not added)");
        for (const QString& folder : ExternalTools::folders())
            QVERIFY2(app.exists(folder), qPrintable(folder));
        const QFileInfo exiftool(ExternalTools::path(Tool::ExifTool, app.absolutePath()));
        QVERIFY2(exiftool.exists() && exiftool.isExecutable(), qPrintable(exiftool.filePath()));
    }
};

QTEST_GUILESS_MAIN(TestExternalTools)
#include "tst_externaltools.moc"
