#include "core/pipeline/MachineDescription.h"

#include <QFile>
#include <QList>
#include <QSysInfo>
#include <QThread>

namespace
{

QByteArray readProcFile(const char* name)
{
    // /proc files report a size of 0: read until the end instead.
    QFile file(QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(1 << 20);
}

// The value after "key:" on its line, or empty.
QByteArray field(const QByteArray& text, const QByteArray& key)
{
    for (const QByteArray& line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed() == key)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

bool MachineDescription::parseMemInfo(const QByteArray& text, qint64* totalMB, qint64* availableMB)
{
    auto kiloBytes = [&text](const QByteArray& key, bool* ok) {
        QByteArray value = field(text, key);
        if (value.endsWith("kB"))
            value.chop(2);
        return value.trimmed().toLongLong(ok);
    };
    bool totalOk = false, availableOk = false;
    const qint64 total = kiloBytes("MemTotal", &totalOk);
    const qint64 available = kiloBytes("MemAvailable", &availableOk);
    const bool ok = totalOk && availableOk && total >= 0 && available >= 0;
    *totalMB = ok ? total / 1024 : 0;
    *availableMB = ok ? available / 1024 : 0;
    return ok;
}

QString MachineDescription::parseProcessorBrand(const QByteArray& text)
{
    return QString::fromLocal8Bit(field(text, "model name"));
}

MachineDescription MachineDescription::current()
{
    MachineDescription m;
    m.computerName = qEnvironmentVariable("ComputerName");
    if (m.computerName.isEmpty())
        m.computerName = QSysInfo::machineHostName();
    m.processorBrand = parseProcessorBrand(readProcFile("/proc/cpuinfo"));
    m.logicalProcessors = QThread::idealThreadCount();
    parseMemInfo(readProcFile("/proc/meminfo"), &m.totalMemoryMB, &m.availableMemoryMB);
    return m;
}
