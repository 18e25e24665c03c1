#include <QtTest>

#include "GatewaySimulator.h"
#include "PtyPair.h"
#include "core/sensors/SensorFrameParser.h"
#include "core/sensors/StreamThread.h"
#include "core/sensors/comReader.h"

// The gateway stand-in: its frames are what the workbench's reader expects,
// and the program delivers them through a serial device.
class TestSensorSim : public QObject
{
    Q_OBJECT
private slots:
    void framesCarryEveryNode()
    {
        GatewaySimulator gateway(7);
        int controlBlocks = 0;
        for (int i = 0; i < 200; ++i) {
            const QByteArray frame = gateway.nextFrame();
            int begin = 0;
            int end = 0;
            QVERIFY(SensorFrameParser::findFrame(frame + "Hardware", 0, &begin, &end));
            QCOMPARE(begin, 0);
            QCOMPARE(end, frame.size());
            controlBlocks += frame.count("~~E");
            const QVector<SensorFrameParser::Reading> readings =
                SensorFrameParser::readings(SensorFrameParser::removeControlBlocks(frame));
            QCOMPARE(readings.size(), GatewaySimulator::nodeCount);
            for (int id = 0; id < readings.size(); ++id) {
                QCOMPARE(readings[id].id, QString::number(id));
                QVERIFY(qAbs(readings[id].temperature - gateway.nodes()[id].temperature) <= 0.005);
                QVERIFY(qAbs(readings[id].humidity - gateway.nodes()[id].humidity) <= 0.05);
            }
        }
        QVERIFY(controlBlocks > 0);
    }

    // Node 4's humidity crosses the smoke threshold both ways within a few minutes.
    void node4CrossesTheSmokeThreshold()
    {
        GatewaySimulator gateway(3);
        bool above = false;
        bool belowAgain = false;
        for (int i = 0; i < 300; ++i) {
            gateway.nextFrame();
            const double h = gateway.nodes()[4].humidity;
            above = above || h >= 70;
            belowAgain = belowAgain || (above && h < 70);
        }
        QVERIFY(above && belowAgain);
    }

    void programWritesToASerialDevice()
    {
        PtyPair pty;
        QVERIFY2(pty.isReady(), qPrintable(pty.error()));
        comReader reader(pty.deviceEnd());
        StreamThread thread(reader.buffer());
        QObject receiver;
        QList<QStringList> texts;
        connect(
            &thread, &StreamThread::sensorTexts, &receiver, [&](const QStringList& t) { texts << t; },
            Qt::QueuedConnection);
        QVERIFY(reader.open());
        thread.startStream();
        QProcess sim;
        sim.start(SENSORSIM, {"--interval", "5", "--count", "6", pty.feedEnd()});
        QVERIFY(sim.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(sim.state(), QProcess::NotRunning, 20000);
        QCOMPARE(sim.exitCode(), 0);
        QTRY_COMPARE(texts.size(), 6);
        for (const QStringList& frame : texts)
            QCOMPARE(frame.size(), GatewaySimulator::nodeCount);
    }

    void programSaysWhyItCannotOpen()
    {
        QProcess sim;
        sim.start(SENSORSIM, {"/nonexistent/gateway"});
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardError().startsWith("sensorsim: cannot open /nonexistent/gateway"));
    }
};

QTEST_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
