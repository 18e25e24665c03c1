#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

#include "ServerThread.h"
#include "WireListener.h"

// The ground station's status server: the airborne tracker reports on this
// port, one ServerThread per connection, and the relay slots hand each report
// to the window on the GUI thread. Log lines leave through logLine().
class TCPServer : public WireListener<TCPServer, ServerThread>
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 28000;

    // Tests pass another port (0 lets the system choose).
    explicit TCPServer(QObject* parent = nullptr, quint16 port = kDefaultPort);

signals:
    void SetStartTrack();
    void SetStopTrack();
    void CurObjPatch(QPixmap objPatch);
    void SetStartCap();
    void SetStopCap();
    void SetTakeOff();
    void CurFM(QString fm);
    void SetFMStabilize();
    void SetFMLoiter();
    void SetFMGuided();
    void SetFMRTL();
    void SetFMLand();
    void SetRCReset();
    void CurGPSPos(QString positionGPS);
    void SetGoGPSWP();
    void CurAltitude(QString altitudeAsString);
    void SetGoAltitude();
    void CurInitModel(QString initModel);
    void CurFrame(QPixmap frame);
    void SetInitPatch();
    void SetInitHOG();
    void LowBat();
    void LostObj();
    void SucGoGPS();
    void SucGoAltitude();
    void SucInitPatch();
    void SucInitHOG();
    void logLine(QString line);

public slots:
    void StartServer() { startListening(); }
    void StopServer() { stopListening(); }
    void toggleTCPServer(bool shouldStart) { setListening(shouldStart); }

    // Relays: each re-emits its signal. Images arrive as QImage from the
    // connection thread and become pixmaps here; the altitude becomes "37 m".
    void onSetStartTrack();
    void onSetStopTrack();
    void onCurObjPatch(QImage objPatch);
    void onSetStartCap();
    void onSetStopCap();
    void onSetTakeOff();
    void onCurFM(QString fm);
    void onSetFMStabilize();
    void onSetFMLoiter();
    void onSetFMGuided();
    void onSetFMRTL();
    void onSetFMLand();
    void onSetRCReset();
    void onCurGPSPos(QString positionGPS);
    void onSetGoGPSWP();
    void onCurAltitude(quint8 altitude);
    void onSetGoAltitude();
    void onCurInitModel(QString initModel);
    void onCurFrame(QImage frame);
    void onSetInitPatch();
    void onSetInitHOG();
    void onLowBat();
    void onLostObj();
    void onSucGoGPS();
    void onSucGoAltitude();
    void onSucInitPatch();
    void onSucInitHOG();

protected:
    void incomingConnection(qintptr socketDescriptor) override;
};
