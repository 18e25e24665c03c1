#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "ConfigWindow.h"
#include "MainWindow.h"
#include "ScanSettings.h"

class TestConfigWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { ScanSettings::global() = ScanSettings(); }

    void freshStartShowsDefaults()
    {
        ConfigWindow w;
        QCOMPARE(w.windowTitle(), QString("Scan Settings"));
        QCOMPARE(w.size(), QSize(500, 500));
        QCOMPARE(w.choiceBox("Undistort Method")->currentText(), QString("None"));
        QCOMPARE(w.choiceBox("Feature Detector")->currentText(), QString("SiftGPU"));
        QCOMPARE(w.choiceBox("Feature Matcher")->currentText(), QString("SiftGPU"));
        QCOMPARE(w.choiceBox("Bundle Adjustment")->currentText(), QString("MPBA"));
        QCOMPARE(w.choiceBox("Dense Reconstruction")->currentText(), QString("PMVS"));
        QVERIFY(!w.displayOutputBox()->isChecked());
        QCOMPARE(w.numberEdit("Fx")->text(), QString("4882.14155"));
        QCOMPARE(w.numberEdit("Cy")->text(), QString("2000.16274"));
        QCOMPARE(w.numberEdit("R1")->text(), QString("-0.09343"));
        QCOMPARE(w.numberEdit("R3")->text(), QString("0"));
        QCOMPARE(w.numberEdit("T1")->text(), QString("-0.00103"));
        QStringList dense;
        for (int i = 0; i < w.choiceBox("Dense Reconstruction")->count(); ++i)
            dense << w.choiceBox("Dense Reconstruction")->itemText(i);
        QCOMPARE(dense, (QStringList{"PMVS", "CMPMVS", "SURE"}));
    }

    void okAppliesEveryField()
    {
        ConfigWindow w;
        w.show();
        w.choiceBox("Bundle Adjustment")->setCurrentText("Bundler");
        w.choiceBox("Dense Reconstruction")->setCurrentText("SURE");
        w.displayOutputBox()->setChecked(true);
        w.numberEdit("Fx")->setText("1234.5");
        w.numberEdit("T2")->setText("-"); // not a number: applies as 0
        w.imageFolderEdit()->setText("/data/site/images");
        w.syncFolderEdit()->setText("/media/camera");
        ScanSettings s;
        w.apply(s);
        QVERIFY(!w.isVisible());
        QVERIFY(!ConfigWindow::isOpenFlagSet());
        QCOMPARE(s.bundleAdjustment, QString("Bundler"));
        QVERIFY(s.usesBundler());
        QCOMPARE(s.denseReconstruction, QString("SURE"));
        QVERIFY(!s.usesPmvs());
        QVERIFY(s.displayOutput);
        QCOMPARE(s.fx, 1234.5);
        QCOMPARE(s.t2, 0.0);
        QCOMPARE(s.fy, 4880.14355);
        QCOMPARE(s.imageFolder, QString("/data/site/images"));
        QCOMPARE(s.syncFolder, QString("/media/camera"));
    }

    void valueOutsideTheChoicesShowsFirstChoice()
    {
        ScanSettings s;
        s.denseReconstruction = "MVE";
        ConfigWindow w;
        w.showSettings(s);
        QCOMPARE(w.choiceBox("Dense Reconstruction")->currentText(), QString("PMVS"));
    }

    void mainWindowOkAndCancel()
    {
        MainWindow main;
        ConfigWindow* w = main.findChild<ConfigWindow*>();
        QVERIFY(w);
        for (int i = 0; i < 3; ++i) {
            main.configureScanSettings();
            QVERIFY(w->isVisible());
            w->cancelButton()->click();
            QVERIFY(!w->isVisible());
        }
        QCOMPARE(w->windowIcon().isNull(), false);

        main.configureScanSettings();
        w->numberEdit("Cx")->setText("99.5");
        w->cancelButton()->click();
        QCOMPARE(ScanSettings::global().cx, 3007.18104); // cancel keeps the record

        main.configureScanSettings();
        w->saveButton()->click(); // the window still shows 99.5
        QCOMPARE(ScanSettings::global().cx, 99.5);
        QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
