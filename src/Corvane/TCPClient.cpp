#include "TCPClient.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QPointer>
#include <QTcpSocket>

#include "ConsoleLog.h"
#include "WireCodec.h"

namespace {

// Parent of the sockets of messages on their way. A socket must outlive its
// disconnectFromHost(), which completes in the event loop.
QObject* sendingSockets()
{
    static QPointer<QObject> holder;
    if (!holder)
        holder = new QObject(QCoreApplication::instance());
    return holder;
}

// A fresh socket per message: a socket shared between messages would put a
// second message sent before the first connection closed onto the same
// connection, and the receiver takes one message per connection.
void sendMessage(const QByteArray& message, const QString& host, unsigned short port)
{
    auto* socket = new QTcpSocket(sendingSockets());
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, [socket](QAbstractSocket::SocketError) {
        // Refused, unreachable or reset: the message is lost, as it would be
        // with no listener. Free the socket either way.
        socket->deleteLater();
    });
    socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    socket->write(message);
    ConsoleLog::write("...Transmission Complete");
    socket->disconnectFromHost();
}

}  // namespace

void clientSendId(unsigned char id, QString host, unsigned short port)
{
    ConsoleLog::write("Sending Command...");
    sendMessage(WireCodec::encodeId(id), host, port);
}

void clientSendInteger(unsigned char value, unsigned char id, QString host, unsigned short port)
{
    ConsoleLog::write("Sending Integer...");
    sendMessage(WireCodec::encodeByte(id, value), host, port);
}

void clientSendString(QString text, unsigned char id, QString host, unsigned short port)
{
    ConsoleLog::write("Sending String...");
    if (text.size() > WireCodec::kMaxStringUnits) {
        ConsoleLog::write("Text too long, not sent.");
        return;
    }
    sendMessage(WireCodec::encodeString(id, text), host, port);
}

void clientSendImage(QPixmap image, unsigned char id, QString host, unsigned short port)
{
    ConsoleLog::write("Sending Image...");
    QByteArray encoded;
    if (!image.isNull()) {
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "jpg"))
            encoded.clear();
    }
    if (encoded.size() > WireCodec::kMaxImageBytes) {
        ConsoleLog::write("Image too large, not sent.");
        return;
    }
    sendMessage(WireCodec::encodeImage(id, encoded), host, port);
}

int clientSendsInFlight()
{
    return sendingSockets()->children().size();
}

TCPClient::TCPClient(QObject* parent) : QObject(parent) {}

void TCPClient::clientSendId2(unsigned char id, QString host, unsigned short port)
{
    ConsoleLog::write("Sending Command2...");
    ConsoleLog::write("Ip is:" + host + ":" + QString::number(port));
    sendMessage(WireCodec::encodeId(id), host, port);
}

void TCPClient::onRqstStartTrack() { clientSendId2(10, m_host, m_port); }
void TCPClient::onRqstStopTrack() { clientSendId(11, m_host, m_port); }
void TCPClient::onRqstObjPatch() { clientSendId(12, m_host, m_port); }
void TCPClient::onRqstStartCap() { clientSendId(13, m_host, m_port); }
void TCPClient::onRqstStopCap() { clientSendId(14, m_host, m_port); }
void TCPClient::onRqstTakeOff() { clientSendId(15, m_host, m_port); }
void TCPClient::onRqstFM() { clientSendId(16, m_host, m_port); }
void TCPClient::onRqstFMStabilize() { clientSendId(17, m_host, m_port); }
void TCPClient::onRqstFMLoiter() { clientSendId(18, m_host, m_port); }
void TCPClient::onRqstFMGuided() { clientSendId(19, m_host, m_port); }
void TCPClient::onRqstFMRTL() { clientSendId(20, m_host, m_port); }
void TCPClient::onRqstFMLand() { clientSendId(21, m_host, m_port); }
void TCPClient::onRqstRCReset() { clientSendId(22, m_host, m_port); }
void TCPClient::onRqstGPSPos() { clientSendId(23, m_host, m_port); }
void TCPClient::onRqstGoGPSWP(QString positionGPS) { clientSendString(positionGPS, 24, m_host, m_port); }
void TCPClient::onRqstClientPos(QString position) { clientSendString(position, 31, m_host, m_port); }
void TCPClient::onRqstAltitude() { clientSendId(25, m_host, m_port); }
void TCPClient::onRqstGoAltitude(quint8 altitude) { clientSendInteger(altitude, 26, m_host, m_port); }
void TCPClient::onRqstInitModel() { clientSendId(27, m_host, m_port); }
void TCPClient::onRqstFrame() { clientSendId(28, m_host, m_port); }
void TCPClient::onRqstInitPatch(QPixmap initPatch) { clientSendImage(initPatch, 29, m_host, m_port); }
void TCPClient::onRqstInitHOG() { clientSendId(30, m_host, m_port); }

void TCPClient::toggleTracking(bool shouldStart)
{
    if (shouldStart)
        clientSendId2(10, m_host, m_port);
    else
        clientSendId(11, m_host, m_port);
}

void TCPClient::toggleCapture(bool shouldStart)
{
    clientSendId(shouldStart ? 13 : 14, m_host, m_port);
}
