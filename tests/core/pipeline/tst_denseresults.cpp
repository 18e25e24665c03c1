#include <QtTest>

#include "core/pipeline/CmpmvsScript.h"
#include "core/pipeline/DenseResults.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"

class TestDenseResults : public QObject
{
    Q_OBJECT

    static void touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    // PMVS's stage stands by a patch file of this run; its results are its
    // clouds and patch files, and only those.
    void pmvsModelsOfThisRun()
    {
        QTemporaryDir dir;
        const PipelineLayout layout("/opt/orvalis", dir.filePath("a.jpg"));
        ScanSettings pmvs;
        pmvs.denseReconstruction = "PMVS";
        const auto all = [](const QString&) { return true; };
        const auto none = [](const QString&) { return false; };
        QVERIFY(DenseResults::missingModels(layout, pmvs, all).endsWith("*patch"));

        touch(dir.filePath("pmvs/models/option-0000.patch"));
        touch(dir.filePath("pmvs/models/option-0000.ply"));
        touch(dir.filePath("pmvs/models/option-0000.log"));
        QVERIFY(!DenseResults::missingModels(layout, pmvs, none).isEmpty());
        QCOMPARE(DenseResults::missingModels(layout, pmvs, all), QString());
        QCOMPARE(DenseResults::patches(layout), QStringList{dir.filePath("pmvs/models/option-0000.patch")});
        QCOMPARE(DenseResults::outputs(layout, pmvs),
                 (QStringList{dir.filePath("pmvs/models/option-0000.patch"),
                              dir.filePath("pmvs/models/option-0000.ply")}));
        QVERIFY(DenseResults::missingPreparation(layout, pmvs, none).endsWith("pmvs_all.bat"));
    }

    void cmpmvsModel()
    {
        QTemporaryDir dir;
        const PipelineLayout layout("/opt/orvalis", dir.filePath("a.jpg"));
        ScanSettings cmpmvs;
        cmpmvs.denseReconstruction = "CMPMVS";
        const QString model = dir.filePath(CmpmvsScript::modelFileName);
        const auto onlyModel = [model](const QString& f) { return f == model; };
        QCOMPARE(DenseResults::missingModels(layout, cmpmvs, onlyModel), QString());
        QVERIFY(!DenseResults::missingModels(layout, cmpmvs, [](const QString&) { return false; }).isEmpty());
        QCOMPARE(DenseResults::outputs(layout, cmpmvs), QStringList{model});
        QVERIFY(DenseResults::missingPreparation(layout, cmpmvs, onlyModel)
                    .contains(QFileInfo(CmpmvsScript::firstCameraFileName).fileName()));
    }

    void timePerPhoto()
    {
        QCOMPARE(DenseResults::timeLine(95.04, 4), QString("Dense stage took 95.0 s for 4 photos: 23.8 s per photo"));
        QCOMPARE(DenseResults::timeLine(3, 0), QString("Dense stage took 3.0 s for 0 photos: 0.0 s per photo"));
    }
};

QTEST_GUILESS_MAIN(TestDenseResults)
#include "tst_denseresults.moc"
