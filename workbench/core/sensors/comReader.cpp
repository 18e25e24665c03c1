#include "core/sensors/comReader.h"

#include "core/log/LogSink.h"
#include "core/platform/PlatformPaths.h"

#include <cstdio>

QString comReader::defaultPortName()
{
    return PlatformPaths::serialPort(QStringLiteral("COM33"));
}

comReader::comReader(const QString& portName, QObject* parent) : QObject(parent), m_portName(portName) {}

comReader::~comReader()
{
    close();
}

bool comReader::open()
{
    if (m_port)
        return true;
    auto* port = new QSerialPort(this);
    port->setPortName(m_portName);
    if (!port->open(QIODevice::ReadWrite)) {
        const QString why = m_portName + QStringLiteral(": ") + port->errorString();
        delete port;
        emit failed(tr("Error"), why);
        return false;
    }
    m_port = port;
    LogSink::printf(LogLevel::Debug, "Opened Device\n");
    port->setBaudRate(baudRate, QSerialPort::AllDirections);
    // The port keeps working with what it has; the user is told.
    if (!port->setDataBits(QSerialPort::Data8))
        emit failed(tr("Error"), tr("Crap"));
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    connect(port, &QSerialPort::errorOccurred, this, &comReader::handleError);
    connect(port, &QSerialPort::readyRead, this, &comReader::readData);
    return true;
}

void comReader::close()
{
    if (m_port) {
        QSerialPort* port = m_port;
        m_port = nullptr;
        port->disconnect(this);
        port->close();
        // close() may be reached from one of the port's own signals.
        port->deleteLater();
    }
    m_buffer.clear();
}

void comReader::readData()
{
    if (m_port)
        m_buffer.append(m_port->readAll());
}

void comReader::writeData(QByteArray data)
{
    if (m_port)
        m_port->write(data);
}

void comReader::handleError(QSerialPort::SerialPortError error)
{
    // A removed device shows as a resource error. A device whose other end
    // hangs up (a pseudo-terminal, a gateway's USB bridge) gives read errors
    // instead, again and again as long as the port stays open: gone as well.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_port)
        return;
    const QString why =
        m_portName + QStringLiteral(": ") +
        (error == QSerialPort::ResourceError ? m_port->errorString()
                                             : tr("the device stopped answering (removed or hung up)"));
    // Closed before anyone shows a box: a modal box's event loop would
    // otherwise hear the same error again and again.
    close();
    emit connectionLost();
    emit failed(tr("Critical Error"), why);
}
