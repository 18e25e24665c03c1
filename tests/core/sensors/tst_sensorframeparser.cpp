#include <QtTest>

#include "core/sensors/SensorFrameParser.h"

using Reading = SensorFrameParser::Reading;

class TestSensorFrameParser : public QObject
{
    Q_OBJECT
private slots:
    void findFrame_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("begin"); // -1: no complete frame
        QTest::addColumn<int>("end");
        QTest::newRow("two markers") << QByteArray("xxHardware\nabc\nHardware") << 0 << 2 << 15;
        QTest::newRow("one marker") << QByteArray("Hardware\nabc\n") << 0 << -1 << -1;
        QTest::newRow("second marker cut") << QByteArray("Hardware\nabc\nHardw") << 0 << -1 << -1;
        QTest::newRow("first marker cut") << QByteArray("ardware\nabc\nHardware\n") << 0 << -1 << -1;
        QTest::newRow("search past a parsed header")
            << QByteArray("Hardware\nabc\nHardware\nxy\nHardware") << 10 << 13 << 25;
        QTest::newRow("nothing") << QByteArray() << 0 << -1 << -1;
    }
    void findFrame()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, from);
        QFETCH(int, begin);
        QFETCH(int, end);
        int b = -1;
        int e = -1;
        QCOMPARE(SensorFrameParser::findFrame(data, from, &b, &e), begin >= 0);
        if (begin >= 0) {
            QCOMPARE(b, begin);
            QCOMPARE(e, end);
        }
    }

    void removeControlBlocks_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("cleaned");
        QTest::newRow("13 characters around the marker")
            << QByteArray("Hardware\n4\tT\t2ab~~E123456783\t50\tv\t9\n")
            << QByteArray("Hardware\n4\tT\t23\t50\tv\t9\n");
        QTest::newRow("two blocks") << QByteArray("Hardware\nAA~~E12345678\nBB~~E87654321x")
                                    << QByteArray("Hardware\n\nx");
        QTest::newRow("block cut by the frame end")
            << QByteArray("Hardware\nab~~E123") << QByteArray("Hardware\n");
        QTest::newRow("marker inside a block")
            << QByteArray("HardwareAA~~E1~~E5678z") << QByteArray("Hardwarez");
        QTest::newRow("none") << QByteArray("Hardware\n~E~~\n") << QByteArray("Hardware\n~E~~\n");
    }
    void removeControlBlocks()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, cleaned);
        QCOMPARE(SensorFrameParser::removeControlBlocks(frame), cleaned);
    }

    // Between two headers, three lines of which only the middle one has six
    // fields: one list entry.
    void onlySixFieldLinesAreReadings()
    {
        const QByteArray frame = "Hardware gw\n1\t2\t3\n4\tTH\t35.5\t61\tx\t88\n1\t2\t3\t4\t5\t6\t7\n";
        const QVector<Reading> readings = SensorFrameParser::readings(frame);
        QCOMPARE(readings.size(), 1);
        QCOMPARE(SensorFrameParser::listText(readings[0]),
                 QString("Sensor: 4 Temp: 35.5 Humidity: 61 Wifi: 88"));
        QCOMPARE(readings[0].temperature, 35.5);
        QCOMPARE(readings[0].humidity, 61.0);
        QCOMPARE(readings[0].wifi, 88.0);
    }

    // The header line and the line before the next header are no readings.
    void headerAndLastLineAreSkipped()
    {
        QCOMPARE(SensorFrameParser::readings("1\t2\t3\t4\t5\t6\n7\t2\t3\t4\t5\t6").size(), 0);
        QCOMPARE(SensorFrameParser::readings("Hardware\n7\t2\t3\t4\t5\t6\r\nEND\r\n").size(), 1);
    }

    void toNumber_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<double>("value");
        QTest::newRow("decimal") << QByteArray("23.75") << 23.75;
        QTest::newRow("negative") << QByteArray("-61") << -61.0;
        QTest::newRow("carriage return") << QByteArray("-61\r") << -61.0;
        QTest::newRow("comma is not a decimal point") << QByteArray("23,5") << 0.0;
        QTest::newRow("trailing text") << QByteArray("23C") << 0.0;
        QTest::newRow("sign alone") << QByteArray("-") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("word") << QByteArray("nan") << 0.0;
    }
    void toNumber()
    {
        QFETCH(QByteArray, field);
        QFETCH(double, value);
        QCOMPARE(SensorFrameParser::toNumber(field), value);
    }
};

QTEST_MAIN(TestSensorFrameParser)
#include "tst_sensorframeparser.moc"
