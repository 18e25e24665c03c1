#pragma once

// Helpers the ground-station tests share: a raw peer that records what each
// connection carried, and a sender that writes a message in pieces.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// Listens on a loopback port of its own and keeps the bytes of every
// connection once the peer has closed it.
class MessageCollector
{
public:
    MessageCollector()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto bytes = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, [socket, bytes] { bytes->append(socket->readAll()); });
                QObject::connect(socket, &QTcpSocket::disconnected, [this, socket, bytes] {
                    bytes->append(socket->readAll());
                    closed << *bytes;
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    QList<QByteArray> closed;

private:
    QTcpServer m_server;
};

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

inline QList<QByteArray> split(const QByteArray& message, int pieceSize)
{
    QList<QByteArray> pieces;
    for (int i = 0; i < message.size(); i += pieceSize)
        pieces << message.mid(i, pieceSize);
    return pieces;
}

// One connection: the pieces are written with a pause between them so that
// they tend to reach the server as separate reads, then the peer closes.
inline void sendPieces(quint16 port, const QList<QByteArray>& pieces)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    for (const QByteArray& piece : pieces) {
        socket.write(piece);
        QVERIFY(socket.waitForBytesWritten(5000));
        QTest::qWait(10);
    }
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        QVERIFY(socket.waitForDisconnected(5000));
}

inline int countLines(const QSignalSpy& logSpy, const QString& needle)
{
    int n = 0;
    for (const QList<QVariant>& args : logSpy)
        n += args.at(0).toString().contains(needle) ? 1 : 0;
    return n;
}

// A real JPEG padded after its end marker to exactly size bytes, as the
// tracker's frames are counted on the wire.
inline QByteArray jpegOfSize(int size, QSize imageSize = QSize(40, 30))
{
    QImage image(imageSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 8, 128));
    for (int quality = 90; quality > 0; quality -= 10) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "jpg", quality);
        if (bytes.size() <= size)
            return bytes + QByteArray(size - bytes.size(), '\0');
    }
    return QByteArray();
}
