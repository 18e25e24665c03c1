#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

#include "WireConnection.h"

// One accepted connection of the command server. The socket and its receive
// buffer are created in run() and live only in this thread; requests leave it
// as signals carrying copies, which reach the server queued.
class ServerThread : public WireConnection<ServerThread>
{
    Q_OBJECT
public:
    ServerThread(qintptr socketDescriptor, QObject* parent = nullptr);

signals:
    void error(QTcpSocket::SocketError socketerror);
    void gotRqstStartTrack();
    void gotRqstObjPatch();
    void gotRqstStopTrack();
    void gotRqstStartCap();
    void gotRqstStopCap();
    void gotRqstTakeOff();
    void gotRqstFM();
    void gotRqstFMStabilize();
    void gotRqstFMLoiter();
    void gotRqstFMGuided();
    void gotRqstFMRTL();
    void gotRqstFMLand();
    void gotRqstRCReset();
    void gotRqstGPSPos();
    void gotRqstGoGPSWP(QString positionGPS);
    void gotRqstClientPos(QString);
    void gotRqstAltitude();
    void gotRqstGoAltitude(quint8 altitude);
    void gotRqstInitModel();
    void gotRqstFrame();
    // The encoded image as received: the core has no image decoder, and a
    // pixmap may only be made on the GUI thread anyway.
    void gotRqstInitPatch(QByteArray initPatch);
    void gotRqstInitHOG();
    void logLine(QString line);

public slots:
    void readyRead() { readMessages(); }
    void disconnected() { endConnection(); }

private:
    friend class WireConnection<ServerThread>;
    void handle(const WireMessage& message);
};
