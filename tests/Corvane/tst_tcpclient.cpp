#include <QImageReader>
#include <QtTest>

#include "LoopbackPeer.h"
#include "TCPClient.h"
#include "WireCodec.h"

class TestTcpClient : public QObject
{
    Q_OBJECT
private slots:
    void routinesPutExactBytesOnTheirOwnConnection_data()
    {
        QTest::addColumn<int>("routine");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("firstLog");
        QTest::newRow("clientSendString 1,2,3 as 31") << 0 << hex("1f000000050000000a0031002c0032002c0033")
                                                      << "Sending String...";
        QTest::newRow("clientSendInteger 120 as 26") << 1 << hex("1a78") << "Sending Integer...";
        QTest::newRow("clientSendId 28") << 2 << hex("1c") << "Sending Command...";
        QTest::newRow("clientSendId2 10") << 3 << hex("0a") << "Sending Command2...";
        QTest::newRow("clientSendImage null") << 4 << hex("1d00000000ffffffff") << "Sending Image...";
    }
    void routinesPutExactBytesOnTheirOwnConnection()
    {
        QFETCH(int, routine);
        QFETCH(QByteArray, expected);
        QFETCH(QString, firstLog);
        MessageCollector peer;
        const QString host = "127.0.0.1";
        QTest::ignoreMessage(QtInfoMsg, qPrintable(firstLog));
        if (routine == 3)
            QTest::ignoreMessage(QtInfoMsg, qPrintable("Ip is:127.0.0.1:" + QString::number(peer.port())));
        QTest::ignoreMessage(QtInfoMsg, "...Transmission Complete");
        TCPClient client;
        switch (routine) {
        case 0: clientSendString("1,2,3", 31, host, peer.port()); break;
        case 1: clientSendInteger(120, 26, host, peer.port()); break;
        case 2: clientSendId(28, host, peer.port()); break;
        case 3: client.clientSendId2(10, host, peer.port()); break;
        case 4: clientSendImage(QPixmap(), 29, host, peer.port()); break;
        }
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.first().toHex(), expected.toHex());
        QTRY_COMPARE(clientSendsInFlight(), 0);
    }

    void imageTravelsAsJpeg()
    {
        MessageCollector peer;
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(qRgb(200, 40, 40));
        clientSendImage(QPixmap::fromImage(image), 29, "127.0.0.1", peer.port());
        QTRY_COMPARE(peer.closed.size(), 1);

        WireParser parser(&WireCodec::requestForm);
        parser.append(peer.closed.first());
        WireMessage message;
        QCOMPARE(parser.next(message), WireParser::Result::Message);
        QCOMPARE(message.id, quint8(29));
        QCOMPARE(parser.bufferedBytes(), qsizetype(0));
        QBuffer buffer(&message.data);
        QImageReader reader(&buffer);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage decoded = reader.read();
        QCOMPARE(decoded.size(), QSize(64, 48));
        QVERIFY(qAbs(qRed(decoded.pixel(10, 10)) - 200) < 8);
    }

    void slotsSendTheirRequest_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QVariant>("argument");
        QTest::addColumn<QByteArray>("expected");
        const struct
        {
            const char* slot;
            int id;
        } plain[] = {{"onRqstStartTrack", 10}, {"onRqstStopTrack", 11}, {"onRqstObjPatch", 12},
                     {"onRqstStartCap", 13},   {"onRqstStopCap", 14},   {"onRqstTakeOff", 15},
                     {"onRqstFM", 16},         {"onRqstFMStabilize", 17}, {"onRqstFMLoiter", 18},
                     {"onRqstFMGuided", 19},   {"onRqstFMRTL", 20},     {"onRqstFMLand", 21},
                     {"onRqstRCReset", 22},    {"onRqstGPSPos", 23},    {"onRqstAltitude", 25},
                     {"onRqstInitModel", 27},  {"onRqstFrame", 28},     {"onRqstInitHOG", 30}};
        for (const auto& row : plain)
            QTest::newRow(row.slot) << QByteArray(row.slot) << QVariant() << QByteArray(1, char(row.id));
        QTest::newRow("onRqstGoGPSWP") << QByteArray("onRqstGoGPSWP") << QVariant(QString("1,2"))
                                       << WireCodec::encodeString(24, "1,2");
        QTest::newRow("onRqstClientPos") << QByteArray("onRqstClientPos") << QVariant(QString("1,2,3"))
                                         << hex("1f000000050000000a0031002c0032002c0033");
        QTest::newRow("onRqstGoAltitude") << QByteArray("onRqstGoAltitude") << QVariant::fromValue(quint8(37))
                                          << hex("1a25");
        QTest::newRow("toggleTracking on") << QByteArray("toggleTracking") << QVariant(true) << hex("0a");
        QTest::newRow("toggleTracking off") << QByteArray("toggleTracking") << QVariant(false) << hex("0b");
        QTest::newRow("toggleCapture on") << QByteArray("toggleCapture") << QVariant(true) << hex("0d");
        QTest::newRow("toggleCapture off") << QByteArray("toggleCapture") << QVariant(false) << hex("0e");
    }
    void slotsSendTheirRequest()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QVariant, argument);
        QFETCH(QByteArray, expected);
        MessageCollector peer;
        TCPClient client;
        client.setPort(peer.port());
        bool invoked = false;
        if (!argument.isValid())
            invoked = QMetaObject::invokeMethod(&client, slot.constData());
        else if (argument.userType() == QMetaType::QString)
            invoked = QMetaObject::invokeMethod(&client, slot.constData(), Q_ARG(QString, argument.toString()));
        else if (argument.userType() == QMetaType::Bool)
            invoked = QMetaObject::invokeMethod(&client, slot.constData(), Q_ARG(bool, argument.toBool()));
        else
            invoked = QMetaObject::invokeMethod(&client, slot.constData(), Q_ARG(quint8, argument.value<quint8>()));
        QVERIFY(invoked);
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.first().toHex(), expected.toHex());
    }

    // Sends in quick succession must not share a connection: the receiver
    // takes one message per connection.
    void messagesSentBackToBackTravelApart()
    {
        MessageCollector peer;
        TCPClient client;
        client.setPort(peer.port());
        client.onRqstClientPos("1,2,3");
        client.onRqstGoAltitude(37);
        client.onRqstClientPos("4,5,6");
        QTRY_COMPARE(peer.closed.size(), 3);
        QList<QByteArray> received = peer.closed;
        std::sort(received.begin(), received.end());
        QList<QByteArray> expected = {WireCodec::encodeString(31, "1,2,3"), hex("1a25"),
                                      WireCodec::encodeString(31, "4,5,6")};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(received, expected);
    }

    // No listener: the message is lost, the log still says complete, and the
    // socket is released.
    void noListenerLosesMessageAndFreesSocket()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        QTest::ignoreMessage(QtInfoMsg, "Sending Command...");
        QTest::ignoreMessage(QtInfoMsg, "...Transmission Complete");
        clientSendId(13, "127.0.0.1", closedPort);
        QCOMPARE(clientSendsInFlight(), 1);
        QTRY_COMPARE(clientSendsInFlight(), 0);
    }
};

QTEST_MAIN(TestTcpClient)
#include "tst_tcpclient.moc"
