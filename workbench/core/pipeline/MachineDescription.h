#pragma once

#include <QByteArray>
#include <QString>

// The computer a stage ran on, kept with its timing so that estimates from
// different machines can be told apart.
struct MachineDescription {
    QString computerName;
    QString processorBrand; // leading blanks removed
    int logicalProcessors = 0;
    qint64 totalMemoryMB = 0; // both 0 when the memory query fails
    qint64 availableMemoryMB = 0;

    // This machine: the "ComputerName" environment value where it is set,
    // else the host name; /proc/cpuinfo and /proc/meminfo on Linux.
    static MachineDescription current();

    // Reads MemTotal and MemAvailable (kB) from /proc/meminfo's text; false
    // and both 0 when either is missing.
    static bool parseMemInfo(const QByteArray& text, qint64* totalMB, qint64* availableMB);
    // The first "model name" of /proc/cpuinfo's text, or empty.
    static QString parseProcessorBrand(const QByteArray& text);
};
