#include "ui/annotation/CommandServerSwitch.h"

#include "core/net/TCPServer.h"

CommandServerSwitch::CommandServerSwitch(TCPServer* server, QObject* parent)
    : QObject(parent), m_server(server)
{
}

bool CommandServerSwitch::setWanted(Input input, bool on, QString* error)
{
    m_wanted = on ? (m_wanted | input) : (m_wanted & ~input);
    if (m_wanted == 0) {
        if (m_server->isListening())
            m_server->toggleTCPServer(false);
        return true;
    }
    if (m_server->isListening())
        return true;
    m_server->toggleTCPServer(true);
    if (m_server->isListening())
        return true;
    m_wanted &= ~input;
    if (error)
        *error = tr("The command server cannot listen on port %1: %2")
                     .arg(m_server->port())
                     .arg(m_server->errorString());
    return false;
}
