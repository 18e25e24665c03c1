#pragma once

// The receiving end of one connection, shared by the connection threads of
// both programs. It is no QObject, so each program's ServerThread keeps its
// own signals and slots and hands the decoded messages on by itself.

#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <functional>
#include <utility>

#include "WireCodec.h"

// Adopts a socket descriptor, cuts what arrives into messages and closes the
// connection when its framing is lost. Create it inside the thread's run():
// the socket and the parser's buffer then belong to that thread alone.
class WireReceiver
{
public:
    using MessageHandler = std::function<void(const WireMessage&)>;
    using LogHandler = std::function<void(const QString&)>;

    // Read in pieces so that what one connection buffers stays bounded by the
    // parser's limit plus one piece, whatever the peer sends.
    static constexpr qint64 kReadPiece = qint64(64) * 1024;

    WireReceiver(qintptr socketDescriptor, WireParser::FormLookup forms, MessageHandler onMessage,
                 LogHandler onLog)
        : m_socketDescriptor(socketDescriptor), m_parser(forms), m_onMessage(std::move(onMessage)),
          m_onLog(std::move(onLog))
    {
    }

    // The socket dies with the receiver; its last signals must not reach a
    // thread that has already left its event loop.
    ~WireReceiver()
    {
        if (m_thread)
            m_socket.disconnect(m_thread);
    }

    WireReceiver(const WireReceiver&) = delete;
    WireReceiver& operator=(const WireReceiver&) = delete;

    QTcpSocket& socket() { return m_socket; }

    // False when the descriptor cannot be taken over; socket().error() says why.
    bool adopt()
    {
        log(" Starting thread");
        return m_socket.setSocketDescriptor(m_socketDescriptor);
    }

    // Routes the socket's readyRead() and disconnected() to the thread's slots
    // of those names, directly, so that both run in the thread itself.
    template <class Thread> void attach(Thread* thread)
    {
        m_thread = thread;
        QObject::connect(&m_socket, &QTcpSocket::readyRead, thread, &Thread::readyRead, Qt::DirectConnection);
        QObject::connect(&m_socket, &QTcpSocket::disconnected, thread, &Thread::disconnected,
                         Qt::DirectConnection);
        log(" Client connected");
    }

    // Hands every complete message to the message handler. False once the
    // connection has been closed for a message that cannot be framed.
    bool readAvailable()
    {
        while (m_socket.bytesAvailable() > 0) {
            m_parser.append(m_socket.read(kReadPiece));
            WireMessage message;
            for (;;) {
                const WireParser::Result result = m_parser.next(message);
                if (result == WireParser::Result::NeedMore)
                    break;
                if (result == WireParser::Result::Message) {
                    m_onMessage(message);
                    continue;
                }
                if (result == WireParser::Result::UnknownId) {
                    // The connection stays open; what follows cannot be
                    // framed and is dropped as it arrives.
                    m_onLog(QStringLiteral("Unknown message!"));
                    break;
                }
                log(" Bad message (" + m_parser.errorString() + "), closing connection");
                m_socket.abort();
                return false;
            }
            if (m_parser.failed()) {
                m_socket.readAll(); // drop what is already here
                return true;
            }
        }
        return true;
    }

    void logDisconnected() { log(" Disconnected"); }

private:
    // Connection log lines begin with the descriptor, so that lines of
    // concurrent connections can be told apart.
    void log(const QString& text) { m_onLog(QString::number(m_socketDescriptor) + text); }

    qintptr m_socketDescriptor;
    QTcpSocket m_socket;
    WireParser m_parser;
    MessageHandler m_onMessage;
    LogHandler m_onLog;
    QObject* m_thread = nullptr;
};
