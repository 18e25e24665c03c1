#pragma once

// Listening and connection-thread bookkeeping shared by the command server of
// the workbench and the status server of the ground station. Each program's
// TCPServer keeps its own signals and relays and calls these for the rest.

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QThread>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace WireServer
{

// Qt listens with a backlog of 50. A burst of senders beyond that overflows
// the kernel's queues, and a sender that has already written and closed its
// connection never learns that it was dropped: the message is lost. Linux
// takes a second listen() on the same socket as a new backlog.
inline void widenBacklog(qintptr listeningSocket)
{
#ifdef Q_OS_UNIX
    ::listen(int(listeningSocket), 1024);
#else
    Q_UNUSED(listeningSocket)
#endif
}

// Returns the line for the server's log.
inline QString start(QTcpServer& server, const QHostAddress& address, quint16 port)
{
    if (!server.listen(address, port))
        return QStringLiteral("Could not start server");
    widenBacklog(server.socketDescriptor());
    return QStringLiteral("TCPServer is listening...");
}

// Connections already open stay open. Returns the line for the server's log.
inline QString stop(QTcpServer& server)
{
    server.close();
    return QStringLiteral("TCPServer closed.");
}

// The connection threads still alive: each is a direct child of its server
// until it has finished and deleted itself.
template <class Thread> QList<Thread*> connections(const QTcpServer& server)
{
    return server.findChildren<Thread*>(QString(), Qt::FindDirectChildrenOnly);
}

// For the server's destructor: a connection thread still running when its
// parent goes would abort the program, so end each loop and wait for it.
template <class Thread> void shutdown(QTcpServer& server)
{
    server.close();
    const QList<Thread*> threads = connections<Thread>(server);
    for (Thread* thread : threads)
        thread->quit();
    for (Thread* thread : threads)
        thread->wait();
}

// A new connection thread, not yet started, that deletes itself when it has
// finished and whose log lines join the server's. The caller connects its
// messages and starts it.
template <class Thread, class Server> Thread* newConnection(Server* server, qintptr socketDescriptor)
{
    auto* thread = new Thread(socketDescriptor, server);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &Thread::logLine, server, &Server::logLine);
    return thread;
}

} // namespace WireServer
