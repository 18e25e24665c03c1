#pragma once

// The listening half of each program's TCPServer: its port, its connection
// threads and the log lines of starting, stopping and accepting. The server
// keeps its own signals and relays; this base emits only through its logLine()
// signal, so it needs no meta-object of its own.

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

#include "WireServer.h"

template <class Server, class Thread> class WireListener : public QTcpServer
{
public:
    quint16 port() const { return m_port; }
    // Takes effect at the next StartServer().
    void setPort(quint16 port) { m_port = port; }
    // Connection threads still alive.
    int connectionCount() const { return WireServer::connections<Thread>(*this).size(); }

protected:
    WireListener(QObject* parent, const QHostAddress& address, quint16 port)
        : QTcpServer(parent), m_address(address), m_port(port)
    {
    }

    ~WireListener() override { WireServer::shutdown<Thread>(*this); }

    void startListening() { emit server()->logLine(WireServer::start(*this, m_address, m_port)); }
    void stopListening() { emit server()->logLine(WireServer::stop(*this)); }
    void setListening(bool shouldListen)
    {
        if (shouldListen)
            startListening();
        else
            stopListening();
    }

    // A new connection thread, not yet started: the server connects its
    // messages and starts it.
    Thread* acceptConnection(qintptr socketDescriptor)
    {
        emit server()->logLine(QString::number(socketDescriptor) + " Connecting...");
        return WireServer::newConnection<Thread>(server(), socketDescriptor);
    }

private:
    Server* server() { return static_cast<Server*>(this); }

    QHostAddress m_address;
    quint16 m_port;
};
