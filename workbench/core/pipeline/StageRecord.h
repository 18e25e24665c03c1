#pragma once

#include <QDateTime>
#include <QString>

#include "core/pipeline/MachineDescription.h"

// The timing of one run of the feature detection stage: when it started and
// ended, how long a file was expected to take and took, on which machine.
struct StageRecord {
    QString stage;
    QString tool;
    int files = 0;
    int processCount = 0;
    QDateTime start; // date and time together, so a stage may run past midnight
    QDateTime end;
    QString startTime; // "hh:mm:ss.cc", as logged
    QString startDate; // "dd.MM.yyyy"
    QString endTime;
    QString endDate;
    double estimatedPerFile = 0;
    // Measured figures; not known when no file was computed.
    bool measured = false;
    double measuredPerFile = 0;
    double error = 0;
    double newAverage = 0;
    MachineDescription machine;
};
