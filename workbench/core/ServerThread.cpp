#include "ServerThread.h"

#include "WireCodec.h"

namespace {
// Read in pieces so that what one connection buffers stays bounded by the
// parser's limit plus one piece, whatever the peer sends.
constexpr qint64 kReadPiece = qint64(64) * 1024;
}

ServerThread::ServerThread(qintptr socketDescriptor, QObject* parent)
    : QThread(parent), m_socketDescriptor(socketDescriptor)
{
}

ServerThread::~ServerThread() = default;

void ServerThread::run()
{
    log(QString::number(m_socketDescriptor) + " Starting thread");
    QTcpSocket socket;
    m_parser = std::make_unique<WireParser>(&WireCodec::requestForm);
    if (!socket.setSocketDescriptor(m_socketDescriptor)) {
        emit error(socket.error());
        m_parser.reset();
        return;
    }
    m_socket = &socket;
    connect(&socket, &QTcpSocket::readyRead, this, &ServerThread::readyRead, Qt::DirectConnection);
    connect(&socket, &QTcpSocket::disconnected, this, &ServerThread::disconnected, Qt::DirectConnection);
    log(QString::number(m_socketDescriptor) + " Client connected");
    exec();
    // The socket and the buffered bytes go with the thread's end, here, in
    // the thread that used them.
    socket.disconnect(this);
    m_socket = nullptr;
    m_parser.reset();
}

void ServerThread::readyRead()
{
    if (!m_socket || !m_parser)
        return;
    while (m_socket->bytesAvailable() > 0) {
        m_parser->append(m_socket->read(kReadPiece));
        WireMessage message;
        for (;;) {
            const WireParser::Result result = m_parser->next(message);
            if (result == WireParser::Result::NeedMore)
                break;
            if (result == WireParser::Result::Message) {
                handle(message);
                continue;
            }
            if (result == WireParser::Result::UnknownId) {
                // The connection stays open; what follows cannot be framed
                // and is dropped as it arrives.
                log("Unknown message!");
                break;
            }
            log(QString::number(m_socketDescriptor) + " Bad message (" + m_parser->errorString()
                + "), closing connection");
            m_socket->abort();
            exit(0);
            return;
        }
        if (m_parser->failed()) {
            m_socket->readAll();  // drop what is already here
            return;
        }
    }
}

void ServerThread::disconnected()
{
    log(QString::number(m_socketDescriptor) + " Disconnected");
    exit(0);
}

void ServerThread::log(const QString& text)
{
    emit logLine(text);
}

void ServerThread::handle(const WireMessage& message)
{
    switch (message.id) {
    case 10: log("RqstStartTrack."); emit gotRqstStartTrack(); break;
    case 11: log("RqstStopTrack."); emit gotRqstStopTrack(); break;
    case 12: log("RqstObjPatch."); emit gotRqstObjPatch(); break;
    case 13: log("RqstStartCap."); emit gotRqstStartCap(); break;
    case 14: log("RqstStopCap."); emit gotRqstStopCap(); break;
    case 15: log("RqstTakeOff."); emit gotRqstTakeOff(); break;
    case 16: log("RqstFM."); emit gotRqstFM(); break;
    case 17: log("RqstFMStabilize."); emit gotRqstFMStabilize(); break;
    case 18: log("RqstFMLoiter."); emit gotRqstFMLoiter(); break;
    case 19: log("RqstFMGuided."); emit gotRqstFMGuided(); break;
    case 20: log("RqstFMRTL."); emit gotRqstFMRTL(); break;
    case 21: log("RqstFMLand."); emit gotRqstFMLand(); break;
    case 22: log("RqstRCReset."); emit gotRqstRCReset(); break;
    case 23: log("RqstGPSPos."); emit gotRqstGPSPos(); break;
    case 24: log("RqstGoGPSWP: " + message.text); emit gotRqstGoGPSWP(message.text); break;
    case 25: log("RqstAltitude."); emit gotRqstAltitude(); break;
    case 26:
        log("RqstGoAltitude: " + QString::number(message.value));
        emit gotRqstGoAltitude(message.value);
        break;
    case 27: log("RqstInitModel."); emit gotRqstInitModel(); break;
    case 28: log("RqstFrame."); emit gotRqstFrame(); break;
    case 29: log("RqstInitPatch."); emit gotRqstInitPatch(message.data); break;
    case 30: log("RqstInitHOG."); emit gotRqstInitHOG(); break;
    case 31: log("RqstClientPos: " + message.text); emit gotRqstClientPos(message.text); break;
    default: log("Unknown message!"); break;
    }
}
