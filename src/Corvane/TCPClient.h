#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>

// The ground station's sending routines. Each call opens a connection of its
// own to host:port, queues one message on it and closes it once the bytes
// are out; nothing waits and nothing is retried.
void clientSendId(unsigned char id, QString host, unsigned short port);
void clientSendInteger(unsigned char value, unsigned char id, QString host, unsigned short port);
void clientSendString(QString text, unsigned char id, QString host, unsigned short port);
void clientSendImage(QPixmap image, unsigned char id, QString host, unsigned short port);
// Connections of the routines above that have not closed yet.
int clientSendsInFlight();

// Sends the requests of the ground station to the workbench's command port.
class TCPClient : public QObject
{
    Q_OBJECT
public:
    static constexpr unsigned short kDefaultPort = 28005;

    explicit TCPClient(QObject* parent = nullptr);

    QString host() const { return m_host; }
    unsigned short port() const { return m_port; }
    void setHost(const QString& host) { m_host = host; }
    void setPort(unsigned short port) { m_port = port; }

    void clientSendId2(unsigned char id, QString host, unsigned short port);

public slots:
    void onRqstStartTrack();
    void onRqstStopTrack();
    void onRqstObjPatch();
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
    void onRqstInitPatch(QPixmap initPatch);
    void onRqstInitHOG();
    void toggleTracking(bool shouldStart);
    void toggleCapture(bool shouldStart);

private:
    QString m_host = QStringLiteral("127.0.0.1");
    unsigned short m_port = kDefaultPort;
};
