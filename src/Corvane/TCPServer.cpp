#include "TCPServer.h"

TCPServer::TCPServer(QObject* parent, quint16 port) : WireListener(parent, QHostAddress::Any, port) {}

void TCPServer::incomingConnection(qintptr socketDescriptor)
{
    auto* thread = acceptConnection(socketDescriptor);
    connect(thread, &ServerThread::gotSetStartTrack, this, &TCPServer::onSetStartTrack);
    connect(thread, &ServerThread::gotSetStopTrack, this, &TCPServer::onSetStopTrack);
    connect(thread, &ServerThread::gotCurObjPatch, this, &TCPServer::onCurObjPatch);
    connect(thread, &ServerThread::gotSetStartCap, this, &TCPServer::onSetStartCap);
    connect(thread, &ServerThread::gotSetStopCap, this, &TCPServer::onSetStopCap);
    connect(thread, &ServerThread::gotSetTakeOff, this, &TCPServer::onSetTakeOff);
    connect(thread, &ServerThread::gotCurFM, this, &TCPServer::onCurFM);
    connect(thread, &ServerThread::gotSetFMStabilize, this, &TCPServer::onSetFMStabilize);
    connect(thread, &ServerThread::gotSetFMLoiter, this, &TCPServer::onSetFMLoiter);
    connect(thread, &ServerThread::gotSetFMGuided, this, &TCPServer::onSetFMGuided);
    connect(thread, &ServerThread::gotSetFMRTL, this, &TCPServer::onSetFMRTL);
    connect(thread, &ServerThread::gotSetFMLand, this, &TCPServer::onSetFMLand);
    connect(thread, &ServerThread::gotSetRCReset, this, &TCPServer::onSetRCReset);
    connect(thread, &ServerThread::gotCurGPSPos, this, &TCPServer::onCurGPSPos);
    connect(thread, &ServerThread::gotSetGoGPSWP, this, &TCPServer::onSetGoGPSWP);
    connect(thread, &ServerThread::gotCurAltitude, this, &TCPServer::onCurAltitude);
    connect(thread, &ServerThread::gotSetGoAltitude, this, &TCPServer::onSetGoAltitude);
    connect(thread, &ServerThread::gotCurInitModel, this, &TCPServer::onCurInitModel);
    connect(thread, &ServerThread::gotCurFrame, this, &TCPServer::onCurFrame);
    connect(thread, &ServerThread::gotSetInitPatch, this, &TCPServer::onSetInitPatch);
    connect(thread, &ServerThread::gotSetInitHOG, this, &TCPServer::onSetInitHOG);
    connect(thread, &ServerThread::gotLowBat, this, &TCPServer::onLowBat);
    connect(thread, &ServerThread::gotLostObj, this, &TCPServer::onLostObj);
    connect(thread, &ServerThread::gotSucGoGPS, this, &TCPServer::onSucGoGPS);
    connect(thread, &ServerThread::gotSucGoAltitude, this, &TCPServer::onSucGoAltitude);
    connect(thread, &ServerThread::gotSucInitPatch, this, &TCPServer::onSucInitPatch);
    connect(thread, &ServerThread::gotSucInitHOG, this, &TCPServer::onSucInitHOG);
    thread->start(QThread::InheritPriority);
}

void TCPServer::onSetStartTrack() { emit SetStartTrack(); }
void TCPServer::onSetStopTrack() { emit SetStopTrack(); }
void TCPServer::onCurObjPatch(QImage objPatch)
{
    emit CurObjPatch(QPixmap::fromImage(objPatch));
}
void TCPServer::onSetStartCap() { emit SetStartCap(); }
void TCPServer::onSetStopCap() { emit SetStopCap(); }
void TCPServer::onSetTakeOff() { emit SetTakeOff(); }
void TCPServer::onCurFM(QString fm) { emit CurFM(fm); }
void TCPServer::onSetFMStabilize() { emit SetFMStabilize(); }
void TCPServer::onSetFMLoiter() { emit SetFMLoiter(); }
void TCPServer::onSetFMGuided() { emit SetFMGuided(); }
void TCPServer::onSetFMRTL() { emit SetFMRTL(); }
void TCPServer::onSetFMLand() { emit SetFMLand(); }
void TCPServer::onSetRCReset() { emit SetRCReset(); }
void TCPServer::onCurGPSPos(QString positionGPS) { emit CurGPSPos(positionGPS); }
void TCPServer::onSetGoGPSWP() { emit SetGoGPSWP(); }
void TCPServer::onCurAltitude(quint8 altitude)
{
    emit CurAltitude(QString::number(altitude) + " m");
}
void TCPServer::onSetGoAltitude() { emit SetGoAltitude(); }
void TCPServer::onCurInitModel(QString initModel) { emit CurInitModel(initModel); }
void TCPServer::onCurFrame(QImage frame)
{
    emit CurFrame(QPixmap::fromImage(frame));
}
void TCPServer::onSetInitPatch() { emit SetInitPatch(); }
void TCPServer::onSetInitHOG() { emit SetInitHOG(); }
void TCPServer::onLowBat() { emit LowBat(); }
void TCPServer::onLostObj() { emit LostObj(); }
void TCPServer::onSucGoGPS() { emit SucGoGPS(); }
void TCPServer::onSucGoAltitude() { emit SucGoAltitude(); }
void TCPServer::onSucInitPatch() { emit SucInitPatch(); }
void TCPServer::onSucInitHOG() { emit SucInitHOG(); }
