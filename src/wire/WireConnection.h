#pragma once

// The thread of one connection of each program's server: it owns the
// connection's WireReceiver for the length of its event loop and hands each
// message to the thread's handle(). The thread keeps its own signals; this base
// emits only through its logLine() and error() signals and routes the socket to
// its readyRead() and disconnected() slots.

#include <QString>
#include <QThread>

#include "WireReceiver.h"

template <class Thread> class WireConnection : public QThread
{
protected:
    WireConnection(qintptr socketDescriptor, WireParser::FormLookup forms, QObject* parent)
        : QThread(parent), m_socketDescriptor(socketDescriptor), m_forms(forms)
    {
    }

    // The socket and the buffered bytes live on this stack, so they belong to
    // this thread and go with the end of its loop.
    void run() override
    {
        Thread* thread = static_cast<Thread*>(this);
        WireReceiver receiver(
            m_socketDescriptor, m_forms, [thread](const WireMessage& message) { thread->handle(message); },
            [this](const QString& line) { log(line); });
        if (!receiver.adopt()) {
            emit thread->error(receiver.socket().error());
            return;
        }
        m_receiver = &receiver;
        receiver.attach(thread);
        exec();
        m_receiver = nullptr;
    }

    void log(const QString& text) { emit static_cast<Thread*>(this)->logLine(text); }

    // For readyRead(): a connection closed for a message that cannot be
    // framed ends the loop.
    void readMessages()
    {
        if (m_receiver && !m_receiver->readAvailable())
            exit(0);
    }

    // For disconnected().
    void endConnection()
    {
        if (m_receiver)
            m_receiver->logDisconnected();
        exit(0);
    }

private:
    qintptr m_socketDescriptor;
    WireParser::FormLookup m_forms;
    // Set while run() is in its event loop.
    WireReceiver* m_receiver = nullptr;
};
