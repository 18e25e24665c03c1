#include "core/sensors/SensorFrameParser.h"

#include "common/numbers/NumberText.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <cstring>

bool SensorFrameParser::findFrame(const QByteArray& data, int from, int* begin, int* end)
{
    const int first = data.indexOf(marker, from < 0 ? 0 : from);
    if (first < 0)
        return false;
    const int next = data.indexOf(marker, first + int(std::strlen(marker)));
    if (next < 0)
        return false;
    *begin = first;
    *end = next;
    return true;
}

QByteArray SensorFrameParser::removeControlBlocks(QByteArray frame)
{
    int at = frame.indexOf(controlMarker);
    while (at >= 0) {
        const int start = qMax(0, at - controlBefore);
        const int stop = qMin(frame.size(), at + int(std::strlen(controlMarker)) + controlAfter);
        frame.remove(start, stop - start);
        at = frame.indexOf(controlMarker, start);
    }
    return frame;
}

double SensorFrameParser::toNumber(const QByteArray& field)
{
    const QByteArray text = field.trimmed();
    if (text.isEmpty())
        return 0;
    // A sign or a dot alone, trailing text, "nan" or "inf" is not a number;
    // a garbled field too large for a double ("7e308") reads as infinity,
    // which no sensor gives, so the network leaves it out.
    const char* begin = text.constData();
    const char* end = begin + text.size();
    double value = 0;
    const bool digits = std::any_of(begin, end, [](char c) { return c >= '0' && c <= '9'; });
    if (NumberText::readLeading(begin, end, value) != end || !digits || std::isnan(value))
        return 0;
    return value;
}

QVector<SensorFrameParser::Reading> SensorFrameParser::readings(const QByteArray& frame)
{
    QVector<Reading> out;
    const QList<QByteArray> lines = frame.split('\n');
    // The first line is the rest of the header, the last one the trailer.
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != fieldCount)
            continue;
        Reading r;
        r.id = QString::fromLatin1(fields[0].trimmed());
        r.temperatureText = QString::fromLatin1(fields[2].trimmed());
        r.humidityText = QString::fromLatin1(fields[3].trimmed());
        r.wifiText = QString::fromLatin1(fields[5].trimmed());
        r.temperature = toNumber(fields[2]);
        r.humidity = toNumber(fields[3]);
        r.wifi = toNumber(fields[5]);
        out.append(r);
    }
    return out;
}

QString SensorFrameParser::listText(const Reading& r)
{
    return QStringLiteral("Sensor: ") + r.id + QStringLiteral(" Temp: ") + r.temperatureText +
           QStringLiteral(" Humidity: ") + r.humidityText + QStringLiteral(" Wifi: ") + r.wifiText;
}
