#include "core/pipeline/StageTiming.h"

#include <QDateTime>
#include <QTime>

#include <cmath>

#include "core/pipeline/StageRecord.h"

namespace
{

QString twoDigits(const QString& text, double value)
{
    return value < 10 ? QStringLiteral("0") + text : text;
}

QString g6(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

StageTiming::Split StageTiming::split(double x)
{
    const int h = int(std::trunc(x / 3600));
    const int m = int(std::trunc((x - 3600.0 * h) / 60));
    return {h, m, x - 60.0 * m - 3600.0 * h};
}

QString StageTiming::duration(double seconds)
{
    const Split s = split(seconds);
    return QString::number(s.hours) + QLatin1Char(':') + QString::number(s.minutes) + QLatin1Char(':') +
           g6(s.seconds);
}

QString StageTiming::clockText(const QTime& time)
{
    return time.toString(QStringLiteral("hh:mm:ss.")) +
           QStringLiteral("%1").arg(time.msec() / 10, 2, 10, QLatin1Char('0'));
}

QString StageTiming::endTime(const QString& startTime, double x)
{
    const Split s = split(x);
    double seconds = startTime.mid(6, 5).toDouble() + s.seconds;
    int carry = 0;
    if (seconds >= 60) {
        seconds -= 60;
        carry = 1;
    }
    int minutes = startTime.mid(3, 2).toInt() + s.minutes + carry;
    carry = 0;
    if (minutes >= 60) {
        minutes -= 60;
        carry = 1;
    }
    const int hours = startTime.mid(0, 2).toInt() + s.hours + carry;
    return twoDigits(QString::number(hours), hours) + QLatin1Char(':') +
           twoDigits(QString::number(minutes), minutes) + QLatin1Char(':') + twoDigits(g6(seconds), seconds);
}

QStringList StageTiming::estimateLines(const QString& startTime, double seconds)
{
    return {QStringLiteral("Time to Complete: ") + duration(seconds),
            QStringLiteral("Estimated End Time: ") + endTime(startTime, seconds)};
}

QStringList StageTiming::finish(StageRecord& r)
{
    const double t = r.start.msecsTo(r.end) / 1000.0;
    QStringList lines{QStringLiteral("Total Time Spent in Seconds: ") + g6(t),
                      QStringLiteral("Total Time Spent: ") + duration(t)};
    r.measured = r.files > 0;
    if (r.measured) {
        r.measuredPerFile = t / r.files;
        r.error = r.estimatedPerFile - r.measuredPerFile;
        r.newAverage = (r.measuredPerFile + r.estimatedPerFile) / 2;
    }
    const QString na = QStringLiteral("n/a");
    lines << QStringLiteral("Time per item ") + (r.measured ? g6(r.measuredPerFile) : na)
          << QStringLiteral("Error from Estimate: ") + (r.measured ? g6(r.error) : na)
          << QStringLiteral("New Average: ") + (r.measured ? g6(r.newAverage) : na);
    return lines;
}
