#pragma once

#include <QObject>
#include <QString>

class TCPServer;

// Point input and polygon input share the command server: it listens while
// either of them wants it and closes only when neither does.
class CommandServerSwitch : public QObject
{
    Q_OBJECT
public:
    enum Input { PointInput = 1, PolygonInput = 2 };

    explicit CommandServerSwitch(TCPServer* server, QObject* parent = nullptr);

    // Records whether the input wants the server and starts or stops it.
    // False when the server was wanted but cannot listen: the input is then
    // taken as off, and error says why.
    bool setWanted(Input input, bool on, QString* error = nullptr);
    bool wanted(Input input) const { return (m_wanted & input) != 0; }

private:
    TCPServer* m_server;
    int m_wanted = 0;
};
