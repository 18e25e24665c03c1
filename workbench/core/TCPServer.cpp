#include "TCPServer.h"

#include <QHostAddress>

#include "ServerThread.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {

// Qt listens with a backlog of 50. A burst of senders beyond that overflows
// the kernel's queues, and a sender that has already written and closed its
// connection never learns that it was dropped: the message is lost. Linux
// takes a second listen() on the same socket as a new backlog.
void widenBacklog(qintptr listeningSocket)
{
#ifdef Q_OS_UNIX
    ::listen(int(listeningSocket), 1024);
#else
    Q_UNUSED(listeningSocket)
#endif
}

}  // namespace

TCPServer::TCPServer(QObject* parent, quint16 port) : QTcpServer(parent), m_port(port) {}

TCPServer::~TCPServer()
{
    close();
    // A connection thread still running when its parent goes would abort the
    // program; end each loop and wait for it.
    const auto threads = findChildren<ServerThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (ServerThread* thread : threads)
        thread->quit();
    for (ServerThread* thread : threads)
        thread->wait();
}

int TCPServer::connectionCount() const
{
    return findChildren<ServerThread*>(QString(), Qt::FindDirectChildrenOnly).size();
}

void TCPServer::StartServer()
{
    if (listen(QHostAddress::LocalHost, m_port)) {
        widenBacklog(socketDescriptor());
        emit logLine("TCPServer is listening...");
    } else {
        emit logLine("Could not start server");
    }
}

void TCPServer::StopServer()
{
    close();
    emit logLine("TCPServer closed.");
}

void TCPServer::toggleTCPServer(bool shouldStart)
{
    if (shouldStart)
        StartServer();
    else
        StopServer();
}

void TCPServer::incomingConnection(qintptr socketDescriptor)
{
    emit logLine(QString::number(socketDescriptor) + " Connecting...");
    auto* thread = new ServerThread(socketDescriptor, this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &ServerThread::logLine, this, &TCPServer::logLine);
    connect(thread, &ServerThread::gotRqstStartTrack, this, &TCPServer::onRqstStartTrack);
    connect(thread, &ServerThread::gotRqstObjPatch, this, &TCPServer::onRqstObjPatch);
    connect(thread, &ServerThread::gotRqstStopTrack, this, &TCPServer::onRqstStopTrack);
    connect(thread, &ServerThread::gotRqstStartCap, this, &TCPServer::onRqstStartCap);
    connect(thread, &ServerThread::gotRqstStopCap, this, &TCPServer::onRqstStopCap);
    connect(thread, &ServerThread::gotRqstTakeOff, this, &TCPServer::onRqstTakeOff);
    connect(thread, &ServerThread::gotRqstFM, this, &TCPServer::onRqstFM);
    connect(thread, &ServerThread::gotRqstFMStabilize, this, &TCPServer::onRqstFMStabilize);
    connect(thread, &ServerThread::gotRqstFMLoiter, this, &TCPServer::onRqstFMLoiter);
    connect(thread, &ServerThread::gotRqstFMGuided, this, &TCPServer::onRqstFMGuided);
    connect(thread, &ServerThread::gotRqstFMRTL, this, &TCPServer::onRqstFMRTL);
    connect(thread, &ServerThread::gotRqstFMLand, this, &TCPServer::onRqstFMLand);
    connect(thread, &ServerThread::gotRqstRCReset, this, &TCPServer::onRqstRCReset);
    connect(thread, &ServerThread::gotRqstGPSPos, this, &TCPServer::onRqstGPSPos);
    connect(thread, &ServerThread::gotRqstGoGPSWP, this, &TCPServer::onRqstGoGPSWP);
    connect(thread, &ServerThread::gotRqstClientPos, this, &TCPServer::onRqstClientPos);
    connect(thread, &ServerThread::gotRqstAltitude, this, &TCPServer::onRqstAltitude);
    connect(thread, &ServerThread::gotRqstGoAltitude, this, &TCPServer::onRqstGoAltitude);
    connect(thread, &ServerThread::gotRqstInitModel, this, &TCPServer::onRqstInitModel);
    connect(thread, &ServerThread::gotRqstFrame, this, &TCPServer::onRqstFrame);
    connect(thread, &ServerThread::gotRqstInitPatch, this, &TCPServer::onRqstInitPatch);
    connect(thread, &ServerThread::gotRqstInitHOG, this, &TCPServer::onRqstInitHOG);
    thread->start(QThread::InheritPriority);
}

void TCPServer::onRqstStartTrack() { emit RqstStartTrack(); }
void TCPServer::onRqstObjPatch() { emit RqstObjPatch(); }
void TCPServer::onRqstStopTrack() { emit RqstStopTrack(); }
void TCPServer::onRqstStartCap() { emit RqstStartCap(); }
void TCPServer::onRqstStopCap() { emit RqstStopCap(); }
void TCPServer::onRqstTakeOff() { emit RqstTakeOff(); }
void TCPServer::onRqstFM() { emit RqstFM(); }
void TCPServer::onRqstFMStabilize() { emit RqstFMStabilize(); }
void TCPServer::onRqstFMLoiter() { emit RqstFMLoiter(); }
void TCPServer::onRqstFMGuided() { emit RqstFMGuided(); }
void TCPServer::onRqstFMRTL() { emit RqstFMRTL(); }
void TCPServer::onRqstFMLand() { emit RqstFMLand(); }
void TCPServer::onRqstRCReset() { emit RqstRCReset(); }
void TCPServer::onRqstGPSPos() { emit RqstGPSPos(); }
void TCPServer::onRqstGoGPSWP(QString positionGPS) { emit RqstGoGPSWP(positionGPS); }
void TCPServer::onRqstClientPos(QString position) { emit RqstClientPos(position); }
void TCPServer::onRqstAltitude() { emit RqstAltitude(); }
void TCPServer::onRqstGoAltitude(quint8 altitude) { emit RqstGoAltitude(altitude); }
void TCPServer::onRqstInitModel() { emit RqstInitModel(); }
void TCPServer::onRqstFrame() { emit RqstFrame(); }
void TCPServer::onRqstInitPatch(QByteArray initPatch) { emit RqstInitPatch(initPatch); }
void TCPServer::onRqstInitHOG() { emit RqstInitHOG(); }
