#include <QtTest>

#include <QProcess>

#include "core/platform/ExternalTools.h"

using Tool = ExternalTools::Tool;

// The build puts our programs where the workbench's scripts call them (X.exe
// found as X by our command interpreter), and each refuses a wrong command
// line with a line that says how to call it.
class TestToolPlaces : public QObject
{
    Q_OBJECT
private slots:
    void programsAnswerWhereTheScriptsCallThem_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("usage");
        QTest::newRow("SiftGPUMax") << int(Tool::SiftGpu) << "usage: SiftGPUMax";
        QTest::newRow("Pairolo") << int(Tool::Pairolo) << "usage: Pairolo";
        QTest::newRow("VisualSfM") << int(Tool::VisualSfM) << "VisualSfM: no command";
        QTest::newRow("Bundler") << int(Tool::Bundler) << "usage: Bundler";
        QTest::newRow("driver_x64") << int(Tool::PbaDriver) << "usage: driver_x64";
        QTest::newRow("undistort") << int(Tool::Undistorter) << "usage: undistort";
    }
    void programsAnswerWhereTheScriptsCallThem()
    {
        QFETCH(int, tool);
        QFETCH(QString, usage);
        QString program = ExternalTools::path(Tool(tool), ORVALIS_APP_DIR);
        program.chop(4); // ".exe"
        QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
        QProcess p;
        p.start(program, QStringList());
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(QString::fromLocal8Bit(p.readAllStandardError()).contains(usage), qPrintable(program));
    }
};

QTEST_GUILESS_MAIN(TestToolPlaces)
#include "tst_toolplaces.moc"
