#pragma once

#include <QByteArray>
#include <QString>

#include "WireListener.h"
#include "core/net/ServerThread.h"

// The command server: takes the ground station's requests on the loopback
// port, one ServerThread per connection, and re-emits each request on the
// GUI thread. Log lines leave through logLine() for the window's log view.
class TCPServer : public WireListener<TCPServer, ServerThread>
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 28005;

    // The port is fixed for the program; tests pass another (0 lets the
    // system choose; serverPort() tells which while listening).
    explicit TCPServer(QObject* parent = nullptr, quint16 port = kDefaultPort);

signals:
    void RqstStartTrack();
    void RqstObjPatch();
    void RqstStopTrack();
    void RqstStartCap();
    void RqstStopCap();
    void RqstTakeOff();
    void RqstFM();
    void RqstFMStabilize();
    void RqstFMLoiter();
    void RqstFMGuided();
    void RqstFMRTL();
    void RqstFMLand();
    void RqstRCReset();
    void RqstGPSPos();
    void RqstGoGPSWP(QString positionGPS);
    void RqstClientPos(QString);
    void RqstAltitude();
    void RqstGoAltitude(quint8 altitude);
    void RqstInitModel();
    void RqstFrame();
    // Encoded image bytes; the receiver decodes them (QPixmap::loadFromData).
    void RqstInitPatch(QByteArray initPatch);
    void RqstInitHOG();
    void logLine(QString line);

public slots:
    void StartServer() { startListening(); }
    void StopServer() { stopListening(); }
    void toggleTCPServer(bool shouldStart) { setListening(shouldStart); }

    void onRqstStartTrack();
    void onRqstObjPatch();
    void onRqstStopTrack();
    void onRqstStartCap();
    void onRqstStopCap();
    void onRqstTakeOff();
    void onRqstFM();
    void onRqstFMStabilize();
    void onRqstFMLoiter();
    void onRqstFMGuided();
    void onRqstFMRTL();
    void onRqstFMLand();
    void onRqstRCReset();
    void onRqstGPSPos();
    void onRqstGoGPSWP(QString positionGPS);
    void onRqstClientPos(QString position);
    void onRqstAltitude();
    void onRqstGoAltitude(quint8 altitude);
    void onRqstInitModel();
    void onRqstFrame();
    void onRqstInitPatch(QByteArray initPatch);
    void onRqstInitHOG();

protected:
    void incomingConnection(qintptr socketDescriptor) override;
};
