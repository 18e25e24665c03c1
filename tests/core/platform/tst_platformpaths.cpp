#include <QDir>
#include <QtTest>

#include "core/platform/PlatformPaths.h"

class TestPlatformPaths : public QObject
{
    Q_OBJECT
private slots:
    void windowsPaths_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("drive") << "C:/Orvalis/screenshot.bmp" << QDir::homePath() + "/Orvalis/screenshot.bmp";
        QTest::newRow("backslashes") << "d:\\Data\\x.txt" << QDir::homePath() + "/Data/x.txt";
        QTest::newRow("unix stays") << "/tmp/a.bmp" << "/tmp/a.bmp";
        QTest::newRow("relative stays") << "C_/a" << "C_/a";
    }
    void windowsPaths()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(PlatformPaths::fromWindowsPath(in), out);
    }

    void serialPorts_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("COM33") << "COM33" << "/dev/COM33";
        QTest::newRow("a device path stays") << "/tmp/x/COM33" << "/tmp/x/COM33";
    }
    void serialPorts()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(PlatformPaths::serialPort(in), out);
    }
};

QTEST_GUILESS_MAIN(TestPlatformPaths)
#include "tst_platformpaths.moc"
