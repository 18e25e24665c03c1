#include <QtTest>

#include "PtyPair.h"
#include "core/sensors/SensorBuffer.h"
#include "core/sensors/StreamThread.h"
#include "core/sensors/comReader.h"

// The serial reader and the stream thread on a real pseudo-terminal: the
// test writes what a gateway would send into the other end.

namespace
{

QByteArray line(const QByteArray& id, const QByteArray& temperature, const QByteArray& humidity,
                const QByteArray& wifi = "90")
{
    return id + "\tTH22\t" + temperature + "\t" + humidity + "\t3.30\t" + wifi + "\n";
}

QByteArray frame(const QByteArray& body, int sequence = 1)
{
    return "Hardware GW seq=" + QByteArray::number(sequence) + "\n" + body + "END\n";
}

// Reader and thread on the device end of a fresh pair. The thread's signals
// are collected on this thread, queued, as the display receives them.
struct Rig {
    PtyPair pty;
    comReader reader{pty.deviceEnd()};
    QList<QStringList> texts;
    QList<QVector<SensorNode>> nodes;
    QList<bool> recoloured;
    QList<bool> smoke;
    QObject receiver;
    StreamThread thread{reader.buffer()}; // last: stopped first

    Rig()
    {
        QObject::connect(
            &thread, &StreamThread::sensorTexts, &receiver, [this](const QStringList& t) { texts << t; },
            Qt::QueuedConnection);
        QObject::connect(
            &thread, &StreamThread::nodesChanged, &receiver,
            [this](const QVector<SensorNode>& n, bool r) {
                nodes << n;
                recoloured << r;
            },
            Qt::QueuedConnection);
        QObject::connect(
            &thread, &StreamThread::smokeChanged, &receiver, [this](bool on) { smoke << on; },
            Qt::QueuedConnection);
    }

    bool open()
    {
        if (!pty.isReady() || !reader.open())
            return false;
        thread.startStream();
        return true;
    }

    // Feeds bytes in pieces of `piece` bytes, letting the reader take each
    // piece before the next is written.
    void feed(const QByteArray& bytes, int piece)
    {
        for (int at = 0; at < bytes.size(); at += piece) {
            QVERIFY(pty.write(bytes.mid(at, piece)));
            if (piece < bytes.size())
                QTest::qWait(1);
        }
    }

    // Every list entry of every frame so far, frames separated by "|".
    QStringList entries() const
    {
        QStringList out;
        for (const QStringList& frame : texts)
            out << frame.join('|');
        return out;
    }
};

} // namespace

class TestStreamThread : public QObject
{
    Q_OBJECT
private slots:
    // Every complete frame gives its entries once, however the bytes arrive:
    // frames and markers split across reads are read once they are whole.
    void framesWhateverTheirPieces_data()
    {
        QTest::addColumn<int>("piece");
        QTest::newRow("one burst") << 100000;
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("3 bytes: markers split") << 3;
        QTest::newRow("bursts of 37") << 37;
    }
    void framesWhateverTheirPieces()
    {
        QFETCH(int, piece);
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        const QByteArray stream = "noise before" +
                                  frame(line("1", "20.5", "40") + "1\t2\t3\n" + line("2", "31", "45"), 1) +
                                  frame(line("3", "22", "5ab~~E123456780") + line("7", "18", "33"), 2) +
                                  frame(line("8", "19", "30"), 3) + "Hardwa";
        rig.feed(stream, piece);
        QTRY_COMPARE(rig.texts.size(), 2);
        rig.feed("re", 2);
        QTRY_COMPARE(rig.texts.size(), 3);
        QTest::qWait(50);
        QCOMPARE(rig.entries(),
                 (QStringList{
                     "Sensor: 1 Temp: 20.5 Humidity: 40 Wifi: 90|Sensor: 2 Temp: 31 Humidity: 45 Wifi: 90",
                     "Sensor: 3 Temp: 22 Humidity: 50 Wifi: 90|Sensor: 7 Temp: 18 Humidity: 33 Wifi: 90",
                     "Sensor: 8 Temp: 19 Humidity: 30 Wifi: 90"}));
        QCOMPARE(rig.thread.framesParsed(), quint64(3));
    }

    // A frame shorter than a header line (a bare marker) used to make the
    // search skip the marker that follows it, and that frame was lost.
    void shortFrameDoesNotSwallowTheNext()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        rig.feed("Hardware" + frame(line("4", "30", "65")) + "Hardware\n" + frame(line("5", "31", "66")) +
                     "Hardware",
                 4096);
        QTRY_COMPARE(rig.thread.framesParsed(), quint64(4));
        QCOMPARE(rig.entries(), (QStringList{"", "Sensor: 4 Temp: 30 Humidity: 65 Wifi: 90", "",
                                             "Sensor: 5 Temp: 31 Humidity: 66 Wifi: 90"}));
    }

    void coloursAndValues()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        rig.feed(frame(line("5", "35", "44", "71") + line("6", "0", "20")) + "Hardware", 64);
        QTRY_COMPARE(rig.nodes.size(), 1);
        QVERIFY(rig.recoloured.last());
        const QVector<SensorNode> nodes = rig.nodes.last();
        QCOMPARE(nodes[5].colour, osg::Vec4f(1, 0.5f, 0, 0.8f));
        QCOMPARE(nodes[5].humidity, 44.0);
        QCOMPARE(nodes[5].wifi, 71.0);
        // 0 degrees leaves node 6 as it was.
        QCOMPARE(nodes[6].colour, osg::Vec4f(1, 0.1f, 0, 0.8f));
        QCOMPARE(nodes[6].temperature, 55.0);
    }

    void smokeFollowsNode4Only()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        int sequence = 0;
        for (const char* humidity : {"65", "72", "71", "60"})
            rig.feed(frame(line("3", "30", humidity) + line("4", "30", humidity), ++sequence), 16);
        rig.feed("Hardware", 8);
        QTRY_COMPARE(rig.thread.framesParsed(), quint64(4));
        QTRY_COMPARE(rig.smoke.size(), 2);
        QCOMPARE(rig.smoke, (QList<bool>{true, false}));
    }

    // More than 9999 bytes without a complete frame: dropped, and parsing
    // starts again with what follows.
    void overfullBufferIsDropped()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        rig.feed("Hardware\n" + line("1", "20", "20") + QByteArray(10000, 'x'), 4096);
        QTest::qWait(200);
        QCOMPARE(rig.reader.buffer().size(), 0);
        rig.feed(line("2", "21", "21") + "Hardware\n" + line("3", "22", "22") + "Hardware", 4096);
        QTRY_COMPARE(rig.texts.size(), 1);
        QTest::qWait(50);
        QCOMPARE(rig.entries(), QStringList{"Sensor: 3 Temp: 22 Humidity: 22 Wifi: 90"});
    }

    // Unplugged while open: "Critical Error" once, the port closes (it used to
    // go on reporting read errors without end), nothing crashes and the thread
    // can still be stopped.
    void deviceVanishes()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        QSignalSpy failed(&rig.reader, &comReader::failed);
        QSignalSpy lost(&rig.reader, &comReader::connectionLost);
        rig.feed(frame(line("1", "20", "20")) + "Hardware", 4096);
        QTRY_COMPARE(rig.texts.size(), 1);
        rig.pty.kill();
        QTRY_COMPARE(lost.size(), 1);
        QTest::qWait(100);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].at(0).toString(), QString("Critical Error"));
        QVERIFY(failed[0].at(1).toString().startsWith(rig.pty.deviceEnd()));
        QVERIFY(!rig.reader.isOpen());
        QCOMPARE(rig.reader.buffer().size(), 0);
        rig.thread.stopStream();
        QVERIFY(!rig.thread.streaming());
        QVERIFY(!rig.thread.isRunning());
    }

    void missingPortSaysWhy()
    {
        comReader reader(QStringLiteral("/nonexistent/COM33"));
        QSignalSpy failed(&reader, &comReader::failed);
        QVERIFY(!reader.open());
        QVERIFY(!reader.isOpen());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].at(0).toString(), QString("Error"));
        QVERIFY(failed[0].at(1).toString().startsWith("/nonexistent/COM33: "));
    }

    // A stopped thread starts again and reads on; a reopened port starts
    // from an empty buffer.
    void stopAndStartAgain()
    {
        Rig rig;
        QVERIFY2(rig.open(), qPrintable(rig.pty.error()));
        rig.feed(frame(line("1", "20", "20")) + "Hardw", 4096);
        QTRY_VERIFY(rig.reader.buffer().size() > 0);
        rig.thread.stopStream();
        rig.reader.close();
        QVERIFY(!rig.thread.isRunning());
        QVERIFY(rig.open());
        rig.feed(frame(line("2", "21", "21")) + "Hardware", 4096);
        QTRY_COMPARE(rig.texts.size(), 1);
        QCOMPARE(rig.entries(), QStringList{"Sensor: 2 Temp: 21 Humidity: 21 Wifi: 90"});
    }
};

QTEST_MAIN(TestStreamThread)
#include "tst_streamthread.moc"
