#include "core/pipeline/MachineDescription.h"

#include <QFile>
#include <QList>
#include <QSysInfo>
#include <QThread>

#include "common/system/MachineMemory.h"

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
    MachineMemory memory;
    MachineMemory::current(memory);
    m.totalMemoryMB = qint64(memory.totalBytes >> 20);
    m.availableMemoryMB = qint64(memory.availableBytes >> 20);
    return m;
}
