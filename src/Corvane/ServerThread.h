#pragma once

#include <QImage>
#include <QString>
#include <QTcpSocket>

#include "WireConnection.h"

// One connection of the tracker to the ground station. The socket and its
// receive buffer live in this thread only; results leave as signals with
// copies. Images travel as QImage: a QPixmap may only be made on the GUI
// thread, so the server turns them into pixmaps there.
class ServerThread : public WireConnection<ServerThread>
{
    Q_OBJECT
public:
    ServerThread(qintptr socketDescriptor, QObject* parent = nullptr);

signals:
    void error(QTcpSocket::SocketError socketerror);
    void gotSetStartTrack();
    void gotSetStopTrack();
    void gotCurObjPatch(QImage objPatch);
    void gotSetStartCap();
    void gotSetStopCap();
    void gotSetTakeOff();
    void gotCurFM(QString fm);
    void gotSetFMStabilize();
    void gotSetFMLoiter();
    void gotSetFMGuided();
    void gotSetFMRTL();
    void gotSetFMLand();
    void gotSetRCReset();
    void gotCurGPSPos(QString positionGPS);
    void gotSetGoGPSWP();
    void gotCurAltitude(quint8 altitude);
    void gotSetGoAltitude();
    void gotCurInitModel(QString initModel);
    void gotCurFrame(QImage frame);
    void gotSetInitPatch();
    void gotSetInitHOG();
    void gotLowBat();
    void gotLostObj();
    void gotSucGoGPS();
    void gotSucGoAltitude();
    void gotSucInitPatch();
    void gotSucInitHOG();
    void logLine(QString line);

public slots:
    void readyRead() { readMessages(); }
    void disconnected() { endConnection(); }

private:
    friend class WireConnection<ServerThread>;
    void handle(const WireMessage& message);
};
