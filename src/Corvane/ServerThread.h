#pragma once

#include <QImage>
#include <QString>
#include <QTcpSocket>
#include <QThread>

class WireReceiver;
struct WireMessage;

// One connection of the tracker to the ground station. The socket and its
// receive buffer live in this thread only; results leave as signals with
// copies. Images travel as QImage: a QPixmap may only be made on the GUI
// thread, so the server turns them into pixmaps there.
class ServerThread : public QThread
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
    void readyRead();
    void disconnected();

protected:
    void run() override;

private:
    void handle(const WireMessage& message);
    void log(const QString& text);

    qintptr m_socketDescriptor;
    // Set while run() is in its event loop.
    WireReceiver* m_receiver = nullptr;
};
