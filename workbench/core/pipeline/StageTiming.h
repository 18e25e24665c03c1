#pragma once

#include <QString>
#include <QStringList>

class QDateTime;
class QTime;
struct StageRecord;

// The estimate and the measured figures of a timed stage, as the log shows them.
class StageTiming
{
public:
    struct Split {
        int hours;
        int minutes;
        double seconds;
    };
    // 3725 s gives 1 h 2 min 5 s.
    static Split split(double seconds);
    // "1:2:5".
    static QString duration(double seconds);
    // "hh:mm:ss.cc" with hundredths of a second.
    static QString clockText(const QTime& time);
    // The clock time seconds after startTime ("hh:mm:ss..."), each field two
    // digits; the hours run on past 24: "23:50:00.00" plus 3725 s gives "24:52:05".
    static QString endTime(const QString& startTime, double seconds);

    // "Time to Complete: ..." and "Estimated End Time: ..." for seconds of work.
    static QStringList estimateLines(const QString& startTime, double seconds);

    // Fills the measured figures of record from its start and end and logs
    // them: total seconds, the h:m:s split, per file, error from the estimate
    // and the new average ("n/a" for the last three when no file was computed).
    static QStringList finish(StageRecord& record);
};
