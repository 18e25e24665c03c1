#include <QtTest>

#include "core/pipeline/CmpmvsScript.h"
#include "core/pipeline/DensePrepareScript.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/platform/BatchInterpreter.h"
#include "core/project/ScanSettings.h"

namespace
{

PipelineLayout siteLayout()
{
    PipelineLayout layout("C:/Orvalis", "C:/site/a.JPG");
    layout.setLogicalProcessors(8);
    return layout;
}

const QString S = "ECHO *******************************";
const QString A = "C:\\Orvalis\\SfM\\";
const QString F = "C:\\site\\";

QByteArray lines(const QStringList& l)
{
    return l.join('\n').toUtf8();
}

QStringList pmvsScript(bool bundler)
{
    QStringList l{"@ECHO off",
                  S,
                  "ECHO Setting up Directories",
                  "mkdir " + F + "pmvs\\txt\\",
                  "mkdir " + F + "pmvs\\visualize\\",
                  "mkdir " + F + "pmvs\\models\\",
                  S,
                  "ECHO Preparing Files For PMVS...."};
    const QString sources =
        bundler ? F + "listfocal.txt " + F + "bundle\\bundle.out " + F + "pmvs\\"
                : F + "sparse-converted-list.txt " + F + "sparse-converted.out " + F + "pmvs\\";
    if (!bundler)
        l << A + "BundleAdjustment\\PBA\\driver_x64.exe " + F + "sparse.nvm --convert_to_bout";
    l << A + "BundleAdjustment\\Bundler\\Bundle2PMVS.exe " + sources << S
      << "ECHO Undistorting Images for PMVS...."
      << A + "BundleAdjustment\\Bundler\\RadialUndistort.exe " + sources << S << "ECHO Creating Vis.dat...."
      << A + "BundleAdjustment\\Bundler\\Bundle2Vis.exe " + F + "pmvs\\bundle.rd.out " + F + "pmvs\\vis.dat"
      << S << "ECHO Setting PMVS Clusters and Options...."
      << A + "DenseReconstruction\\PMVS2\\cmvs.exe " + F + "pmvs\\ " + (bundler ? "10" : "50") + " 8"
      << A + "DenseReconstruction\\PMVS2\\genOption.exe " + F + "pmvs\\ 1 2 0.7 7 3 8" << S
      << "ECHO Cleaning Up...."
      << "rm " + F + "pmvs\\prep_pmvs.sh"
      << "rm " + F + "pmvs\\pmvs_options.txt"
      << "rm " + F + "pmvs\\pmvs.bat" << S << "ECHO Completed Tasks";
    return l;
}

QStringList cmpmvsScript(bool bundler)
{
    QStringList l{"@ECHO off",
                  S,
                  "ECHO Setting up Directories",
                  "mkdir " + F + "cmpmvs\\",
                  "mkdir " + F + "cmpmvs\\_tmp\\",
                  "mkdir " + F + "cmpmvs\\data\\",
                  S,
                  "ECHO Preparing Files For CMPMVS...."};
    QString sources = F + "listfocal.txt " + F + "bundle\\bundle.out " + F + "cmpmvs\\";
    if (bundler) {
        l << A + "BundleAdjustment\\Bundler\\Bundle2CMPMVS.exe " + sources;
    } else {
        sources = F + "sparse-converted-list.txt " + F + "sparse-converted.out " + F + "cmpmvs\\";
        l << A + "BundleAdjustment\\PBA\\driver_x64.exe " + F + "sparse.nvm --convert_to_bout"
          << A + "BundleAdjustment\\Bundler\\bundle2cmpmvs.exe " + sources;
    }
    l << S << "ECHO Undistorting Images for CMPMVS...."
      << A + "BundleAdjustment\\Bundler\\RadialUndistortCMP.exe " + sources << S << "ECHO Cleaning Up....."
      << "rm " + F + "cmpmvs\\prep_pmvs.sh"
      << "rm " + F + "cmpmvs\\pmvs_options.txt" << S << "ECHO Completed Tasks";
    return l;
}

} // namespace

// The dense chain's scripts and CMPMVS's configuration, byte for byte.
class TestDenseScripts : public QObject
{
    Q_OBJECT
private slots:
    void prepareScripts_data()
    {
        QTest::addColumn<QString>("dense");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("text");
        QTest::newRow("PMVS after Bundler") << "PMVS"
                                            << "Bundler"
                                            << "prepare_pmvs2.bat" << pmvsScript(true);
        QTest::newRow("PMVS after VisualSfM") << "PMVS"
                                              << "MPBA"
                                              << "prepare_pmvs2pba.bat" << pmvsScript(false);
        QTest::newRow("CMPMVS after Bundler") << "CMPMVS"
                                              << "Bundler"
                                              << "prepare_cmpmvs.bat" << cmpmvsScript(true);
        QTest::newRow("CMPMVS after VisualSfM") << "CMPMVS"
                                                << "MPBA"
                                                << "prepare_pba2cmpmvs.bat" << cmpmvsScript(false);
        QTest::newRow("SURE takes the CMPMVS path") << "SURE"
                                                    << "MPBA"
                                                    << "prepare_pba2cmpmvs.bat" << cmpmvsScript(false);
    }
    void prepareScripts()
    {
        QFETCH(QString, dense);
        QFETCH(QString, bundle);
        QFETCH(QString, fileName);
        QFETCH(QStringList, text);
        ScanSettings s;
        s.denseReconstruction = dense;
        s.bundleAdjustment = bundle;
        QCOMPARE(DensePrepareScript::fileName(s), fileName);
        QCOMPARE(DensePrepareScript::text(siteLayout(), s), lines(text));
    }

    // Photo and program folders with a blank ("Grabung Süd 2"): each path
    // stays one word of its line.
    void pathsWithABlankStayWhole_data()
    {
        QTest::addColumn<QString>("dense");
        QTest::addColumn<QString>("bundle");
        QTest::newRow("PMVS after Bundler") << "PMVS"
                                            << "Bundler";
        QTest::newRow("PMVS after VisualSfM") << "PMVS"
                                              << "MPBA";
        QTest::newRow("CMPMVS after Bundler") << "CMPMVS"
                                              << "Bundler";
        QTest::newRow("CMPMVS after VisualSfM") << "CMPMVS"
                                                << "MPBA";
        QTest::newRow("CMPMVS run") << "run"
                                    << "Bundler";
    }
    void pathsWithABlankStayWhole()
    {
        QFETCH(QString, dense);
        QFETCH(QString, bundle);
        PipelineLayout layout("C:/Program Files/Orvalis", "C:/Grabung Sued 2/a.JPG");
        layout.setLogicalProcessors(8);
        ScanSettings s;
        s.denseReconstruction = dense;
        s.bundleAdjustment = bundle;
        const QByteArray text =
            dense == "run" ? CmpmvsScript::text(layout) : DensePrepareScript::text(layout, s);
        int paths = 0;
        for (const QByteArray& line : text.split('\n')) {
            for (const QString& word : BatchInterpreter::split(QString::fromUtf8(line))) {
                if (!word.contains("Sued") && !word.contains("Program"))
                    continue;
                ++paths;
                QVERIFY2(word.startsWith("C:\\Grabung Sued 2\\") ||
                             word.startsWith("C:\\Program Files\\Orvalis\\"),
                         line.constData());
            }
        }
        QVERIFY(paths >= 3);
    }

    void eightProcessorsAfterBundler()
    {
        ScanSettings s;
        s.bundleAdjustment = "Bundler";
        const QList<QByteArray> l = DensePrepareScript::text(siteLayout(), s).split('\n');
        QVERIFY(l[17].endsWith("pmvs\\ 10 8"));
        QVERIFY(l[18].endsWith("pmvs\\ 1 2 0.7 7 3 8"));
    }

    void cmpmvsRun()
    {
        QCOMPARE(CmpmvsScript::text(siteLayout()),
                 lines({"@ECHO off ", "cd " + A + "DenseReconstruction\\CMPMVS\\ ",
                        A + "DenseReconstruction\\CMPMVS\\CMPMVS.exe " + F + "cmpmvs\\mvs.ini"}));
    }

    // Fixed values whatever the images: three cameras of 6000 x 4000.
    void mvsIni()
    {
        QCOMPARE(
            CmpmvsScript::iniText(siteLayout()),
            QByteArray("[global]\ndirName='C:\\site\\cmpmvs\\data\\'\nprefix=''\nimgExt='jpg'\nncams=3\n"
                       "width=6000\nheight=4000\nscale=1\nworkDirName='_tmp'\ndoPrepareData=TRUE\n"
                       "doPrematchSifts=TRUE\ndoPlaneSweepingSGM=TRUE\ndoFuse=TRUE\nnTimesSimplify=10\n"
                       "[uvatlas]\ntexSide=4096\nscale=1\n[prematching]\nminAngle=3.0\n[grow]\n"
                       "minNumOfConsistentCams=6\n[filter]\nminNumOfConsistentCams=2\n"
                       "[hallucinationsFiltering]\nuseSkyPrior=FALSE\ndoLeaveLargestFullSegmentOnly=FALSE\n"
                       "doRemoveHugeTriangles=TRUE\n[largeScale]\ndoGenerateAndReconstructSpaceMaxPts=TRUE\n"
                       "doGenerateSpace=TRUE\nplanMaxPts=3000000\n[generateVideoFrames]\nnintermed=20\n"
                       "[DEM]\ndemW=8000\ndemH=8000\n\n#EOF\n"));
    }
};

QTEST_GUILESS_MAIN(TestDenseScripts)
#include "tst_densescripts.moc"
