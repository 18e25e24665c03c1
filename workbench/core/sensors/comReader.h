#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "core/sensors/SensorBuffer.h"

// Owns the serial port of the sensor gateway and gathers what it sends into
// the shared receive buffer. Opened and closed by the sensor display; it says
// what went wrong through failed() and leaves the showing to the window.
class comReader : public QObject
{
    Q_OBJECT
public:
    static constexpr qint32 baudRate = 115200;

    // "COM33" on this platform.
    static QString defaultPortName();

    // Tests give a pseudo-terminal's path.
    explicit comReader(const QString& portName = defaultPortName(), QObject* parent = nullptr);
    ~comReader() override;

    QString portName() const { return m_portName; }
    // Opens the port read-write at 115200 baud, 8 data bits, no parity, one
    // stop bit, no flow control. False (and failed("Error", why)) when the
    // port cannot be opened.
    bool open();
    // Closes the port, empties the buffer and rewinds the stream reader.
    void close();
    bool isOpen() const { return m_port != nullptr; }

    SensorBuffer& buffer() { return m_buffer; }

public slots:
    void readData();
    void writeData(QByteArray data);
    void handleError(QSerialPort::SerialPortError error);

signals:
    // A message box's title ("Error", "Critical Error") and text.
    void failed(const QString& title, const QString& message);
    // The device went away or hung up while open; the port is closed already.
    void connectionLost();

private:
    QString m_portName;
    QSerialPort* m_port = nullptr;
    SensorBuffer m_buffer;
};
