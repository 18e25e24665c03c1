#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/pipeline/ConfigWindow.h"
#include "ui/main/MainWindow.h"
#include "core/project/ScanSettings.h"

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
        w.numberEdit("T2")->setText("-0.00025");
        w.imageFolderEdit()->setText("/data/site/images");
        w.syncFolderEdit()->setText("/media/camera");
        ScanSettings s;
        QVERIFY(w.apply(s));
        QVERIFY(!w.isVisible());
        QVERIFY(!ConfigWindow::isOpenFlagSet());
        QCOMPARE(s.bundleAdjustment, QString("Bundler"));
        QVERIFY(s.usesBundler());
        QCOMPARE(s.denseReconstruction, QString("SURE"));
        QVERIFY(!s.usesPmvs());
        QVERIFY(s.displayOutput);
        QCOMPARE(s.fx, 1234.5);
        QCOMPARE(s.t2, -0.00025);
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
        w->saveButton()->click();
        QCOMPARE(ScanSettings::global().cx, 99.5);
        QVERIFY(!w->isVisible());
    }

    // "Cancel" once left what was typed in the window, and a later "OK"
    // applied it after all.
    void cancelPutsTheWindowBackToTheRecord()
    {
        MainWindow main;
        ConfigWindow* w = main.findChild<ConfigWindow*>();
        main.configureScanSettings();
        w->numberEdit("Cx")->setText("99.5");
        w->choiceBox("Dense Reconstruction")->setCurrentText("SURE");
        w->cancelButton()->click();
        QCOMPARE(ScanSettings::global().cx, 3007.18104);
        main.configureScanSettings();
        QCOMPARE(w->numberEdit("Cx")->text(), QString("3007.18104"));
        QCOMPARE(w->choiceBox("Dense Reconstruction")->currentText(), QString("PMVS"));
        w->saveButton()->click();
        QCOMPARE(ScanSettings::global().cx, 3007.18104);
        QCOMPARE(ScanSettings::global().denseReconstruction, QString("PMVS"));
    }

    // A cancelled "Browse" once emptied the folder field.
    void cancelledBrowseKeepsTheFolder()
    {
        ConfigWindow w;
        w.imageFolderEdit()->setText("/data/site/images");
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        w.browseImageFolder();
        QCOMPARE(w.imageFolderEdit()->text(), QString("/data/site/images"));
    }

    // A German desktop types "-0,25"; that once became 0 without a word.
    void numberFieldsReadTheSameInEveryLocale_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::newRow("decimal comma") << "-0,25" << true << -0.25;
        QTest::newRow("decimal point") << "-0.25" << true << -0.25;
        QTest::newRow("exponent") << "1e-05" << true << 1e-05;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("point and comma") << "1.000,5" << false << 0.0;
    }
    void numberFieldsReadTheSameInEveryLocale()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ConfigWindow w;
        w.show();
        w.numberEdit("R1")->clear();
        QTest::keyClicks(w.numberEdit("R1"), typed);
        QLocale::setDefault(before);
        QCOMPARE(w.numberEdit("R1")->text(), typed); // nothing of it was swallowed
        ScanSettings s;
        s.r1 = 42.0;
        QString error;
        QCOMPARE(w.apply(s, &error), accepted);
        QCOMPARE(s.r1, accepted ? value : 42.0);
        QCOMPARE(w.isVisible(), !accepted);
        if (!accepted) {
            QVERIFY2(error.startsWith("R1: "), qPrintable(error));
            QCOMPARE(w.problemLabel()->text(), error);
        }
    }
};

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
