#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Cuts the sensor gateway's text stream into frames and a frame into
// readings. A frame runs from one "Hardware" marker up to the next; inside
// it, radio control blocks ("~~E" with 2 bytes before and 8 after) are
// noise; every line between the header and the last line with six
// tab-separated fields is one node's reading.
class SensorFrameParser
{
public:
    static constexpr const char* marker = "Hardware";
    static constexpr const char* controlMarker = "~~E";
    static constexpr int controlBefore = 2;
    static constexpr int controlAfter = 8;
    static constexpr int fieldCount = 6;

    struct Reading {
        QString id;
        // The fields as received (without surrounding blanks), for the list.
        QString temperatureText;
        QString humidityText;
        QString wifiText;
        double temperature = 0;
        double humidity = 0;
        double wifi = 0;
    };

    // The first complete frame that starts at or after from: [*begin, *end)
    // covers the first marker up to (not including) the next one. False when
    // no two markers follow from.
    static bool findFrame(const QByteArray& data, int from, int* begin, int* end);

    // The frame without its control blocks (13 bytes each, fewer where the
    // frame's edges cut a block).
    static QByteArray removeControlBlocks(QByteArray frame);

    // The readings of a frame already freed of control blocks, in line order.
    static QVector<Reading> readings(const QByteArray& frame);

    // The sensor list's entry for a reading.
    static QString listText(const Reading& reading);

    // A field as a decimal number (locale-independent); text that is not a
    // number, in whole, gives 0.
    static double toNumber(const QByteArray& field);
};
