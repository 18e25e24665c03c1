#include <QtTest>

#include "LoopbackPeer.h"
#include "TCPServer.h"
#include "WireCodec.h"

class TestCorvaneServer : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_server = new TCPServer(nullptr, 0);
        m_log = new QSignalSpy(m_server, &TCPServer::logLine);
        m_server->StartServer();
        QVERIFY(m_server->isListening());
        m_port = m_server->serverPort();
    }
    void cleanup()
    {
        delete m_log;
        delete m_server;
    }

    void statusTable_data();
    void statusTable();
    void unknownIdsAreLogged_data();
    void unknownIdsAreLogged();
    void frameInThreePartsIsDecodedOnce();
    void oversizedFrameClosesConnection();
    void stoppedServerRefuses();
    void listensOnAnyInterfaceDefaultPort();

private:
    void waitForClosedConnections(int count)
    {
        QTRY_VERIFY_WITH_TIMEOUT(countLines(*m_log, " Disconnected") >= count, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 10000);
    }

    TCPServer* m_server = nullptr;
    QSignalSpy* m_log = nullptr;
    quint16 m_port = 0;
};

void TestCorvaneServer::statusTable_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<QString>("logText");
    QTest::addColumn<QVariant>("argument");

    const struct
    {
        int id;
        const char* name;
    } flags[] = {{110, "SetStartTrack"}, {111, "SetStopTrack"},   {113, "SetStartCap"},   {114, "SetStopCap"},
                 {115, "SetTakeOff"},    {117, "SetFMStabilize"}, {118, "SetFMLoiter"},   {119, "SetFMGuided"},
                 {120, "SetFMRTL"},      {121, "SetFMLand"},      {122, "SetRCReset"},    {124, "SetGoGPSWP"},
                 {126, "SetGoAltitude"}, {129, "SetInitPatch"},   {130, "SetInitHOG"},    {202, "SucGoGPS"},
                 {203, "SucGoAltitude"}, {204, "SucInitPatch"},   {205, "SucInitHOG"}};
    for (const auto& row : flags) {
        const QByteArray signal = QByteArray("2") + row.name + "()";
        QTest::newRow(qPrintable(QString("%1 confirmed").arg(row.name)))
            << WireCodec::encodeByte(quint8(row.id), 1) << signal << 1 << QString() << QVariant();
        QTest::newRow(qPrintable(QString("%1 any non-zero flag").arg(row.name)))
            << WireCodec::encodeByte(quint8(row.id), 0xff) << signal << 1 << QString() << QVariant();
        QTest::newRow(qPrintable(QString("%1 refused").arg(row.name)))
            << WireCodec::encodeByte(quint8(row.id), 0) << signal << 0 << QString("Error: %1.").arg(row.name)
            << QVariant();
    }
    QTest::newRow("CurAltitude 7D 25") << hex("7d25") << QByteArray("2CurAltitude(QString)") << 1 << QString()
                                       << QVariant(QString("37 m"));
    QTest::newRow("CurAltitude 0") << hex("7d00") << QByteArray("2CurAltitude(QString)") << 1 << QString()
                                   << QVariant(QString("0 m"));
    QTest::newRow("CurFM") << WireCodec::encodeString(116, "Loiter") << QByteArray("2CurFM(QString)") << 1
                           << QString() << QVariant(QString("Loiter"));
    QTest::newRow("CurGPSPos") << WireCodec::encodeString(123, "31.77,35.21") << QByteArray("2CurGPSPos(QString)")
                               << 1 << QString() << QVariant(QString("31.77,35.21"));
    QTest::newRow("CurInitModel") << WireCodec::encodeString(127, "hog 12") << QByteArray("2CurInitModel(QString)")
                                  << 1 << QString() << QVariant(QString("hog 12"));
    QTest::newRow("LowBat") << hex("c8") << QByteArray("2LowBat()") << 1 << QString("LowBat.") << QVariant();
    QTest::newRow("LostObj") << hex("c9") << QByteArray("2LostObj()") << 1 << QString("LostObj.") << QVariant();
}

void TestCorvaneServer::statusTable()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, signal);
    QFETCH(int, emitted);
    QFETCH(QString, logText);
    QFETCH(QVariant, argument);

    QSignalSpy spy(m_server, signal.constData());
    QVERIFY(spy.isValid());
    sendPieces(m_port, {message});
    waitForClosedConnections(1);
    QCOMPARE(spy.count(), emitted);
    if (argument.isValid())
        QCOMPARE(spy.at(0).at(0), argument);
    if (!logText.isEmpty())
        QCOMPARE(countLines(*m_log, logText), 1);
    QCOMPARE(countLines(*m_log, "Error:"), logText.startsWith("Error:") ? 1 : 0);
    QCOMPARE(countLines(*m_log, "Unknown message!"), 0);
}

void TestCorvaneServer::unknownIdsAreLogged_data()
{
    QTest::addColumn<int>("id");
    for (int id : {131, 132, 150, 175, 199, 9, 10, 31, 32, 109, 206, 255})
        QTest::newRow(qPrintable(QString::number(id))) << id;
}

void TestCorvaneServer::unknownIdsAreLogged()
{
    QFETCH(int, id);
    QSignalSpy altitude(m_server, &TCPServer::CurAltitude);
    sendPieces(m_port, {QByteArray(1, char(id)) + hex("7d25"), hex("7d25")});
    waitForClosedConnections(1);
    QCOMPARE(countLines(*m_log, "Unknown message!"), 1);
    QCOMPARE(altitude.count(), 0);
}

void TestCorvaneServer::frameInThreePartsIsDecodedOnce()
{
    const QByteArray jpeg = jpegOfSize(1000);
    QCOMPARE(jpeg.size(), 1000);
    const QByteArray message = WireCodec::encodeImage(128, jpeg);
    QSignalSpy frames(m_server, &TCPServer::CurFrame);
    sendPieces(m_port, {message.left(300), message.mid(300, 400), message.mid(700)});
    waitForClosedConnections(1);
    QCOMPARE(frames.count(), 1);
    const QPixmap frame = frames.at(0).at(0).value<QPixmap>();
    QCOMPARE(frame.size(), QSize(40, 30));
}

void TestCorvaneServer::oversizedFrameClosesConnection()
{
    QSignalSpy frames(m_server, &TCPServer::CurFrame);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(hex("8040000000" "40000000") + QByteArray(4096, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 10000);
    waitForClosedConnections(1);
    QCOMPARE(countLines(*m_log, "closing connection"), 1);
    QCOMPARE(frames.count(), 0);
}

void TestCorvaneServer::stoppedServerRefuses()
{
    m_server->toggleTCPServer(false);
    QCOMPARE(m_log->last().at(0).toString(), QString("TCPServer closed."));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(!socket.waitForConnected(5000));
    QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestCorvaneServer::listensOnAnyInterfaceDefaultPort()
{
    TCPServer server;
    QCOMPARE(server.port(), quint16(28000));
    QSignalSpy log(&server, &TCPServer::logLine);
    server.StartServer();
    if (!server.isListening())
        QSKIP("port 28000 is taken on this machine");
    QCOMPARE(log.first().at(0).toString(), QString("TCPServer is listening..."));
    QCOMPARE(server.serverAddress(), QHostAddress(QHostAddress::Any));
    QCOMPARE(server.serverPort(), quint16(28000));
    server.StartServer();
    QCOMPARE(log.last().at(0).toString(), QString("Could not start server"));
}

QTEST_MAIN(TestCorvaneServer)
#include "tst_corvaneserver.moc"
