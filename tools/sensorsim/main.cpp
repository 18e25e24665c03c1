// Writes a sensor gateway's stream to a serial device, so the workbench's
// sensor display can be seen working without the hardware:
//   socat -d -d pty,raw,echo=0,link=/tmp/gw pty,raw,echo=0,link=/tmp/COM33
//   sensorsim /tmp/gw
// sensorsim [--interval ms] [--count frames] [--seed n] <device>
#include <QCoreApplication>
#include <QSerialPort>
#include <QStringList>
#include <QTextStream>
#include <QThread>

#include "GatewaySimulator.h"

namespace
{

int usage()
{
    QTextStream(stderr) << "usage: sensorsim [--interval ms] [--count frames] [--seed n] <device>\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int interval = 500;
    long long count = 0; // 0: until stopped
    quint32 seed = 1;
    QString device;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if ((a == "--interval" || a == "--count" || a == "--seed") && i + 1 < args.size()) {
            const QString value = args[++i];
            if (a == "--interval")
                interval = value.toInt(&ok);
            else if (a == "--count")
                count = value.toLongLong(&ok);
            else
                seed = value.toUInt(&ok);
            if (!ok || interval < 0 || count < 0)
                return usage();
        } else if (device.isEmpty() && !a.startsWith("--")) {
            device = a;
        } else {
            return usage();
        }
    }
    if (device.isEmpty())
        return usage();

    QSerialPort port(device);
    if (!port.open(QIODevice::WriteOnly)) {
        QTextStream(stderr) << "sensorsim: cannot open " << device << ": " << port.errorString() << "\n";
        return 1;
    }
    port.setBaudRate(115200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);

    GatewaySimulator gateway(seed);
    while (count == 0 || gateway.framesMade() < count) {
        const QByteArray frame = gateway.nextFrame();
        if (port.write(frame) != frame.size() || !port.waitForBytesWritten(5000)) {
            QTextStream(stderr) << "sensorsim: writing to " << device << " failed: " << port.errorString()
                                << "\n";
            return 1;
        }
        if (interval > 0)
            QThread::msleep(unsigned(interval));
    }
    // The last frame is only complete for a reader once the next header
    // arrives: close the stream with one.
    port.write("Hardware\n");
    port.waitForBytesWritten(5000);
    QTextStream(stdout) << "sensorsim: " << gateway.framesMade() << " frames to " << device << "\n";
    return 0;
}
