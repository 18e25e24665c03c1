#include "core/net/TCPServer.h"

TCPServer::TCPServer(QObject* parent, quint16 port) : WireListener(parent, QHostAddress::LocalHost, port) {}

void TCPServer::incomingConnection(qintptr socketDescriptor)
{
    auto* thread = acceptConnection(socketDescriptor);
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
