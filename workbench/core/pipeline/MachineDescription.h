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
    // else the host name; /proc/cpuinfo and common/system/MachineMemory on
    // Linux.
    static MachineDescription current();

    // The first "model name" of /proc/cpuinfo's text, or empty.
    static QString parseProcessorBrand(const QByteArray& text);
};
