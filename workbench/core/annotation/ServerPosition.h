#pragma once

#include <QString>

#include <optional>

// A position the ground station sent as text "x,y,z", read the way the
// point and polygon inputs take it.
class ServerPosition
{
public:
    // Kept in double, to the last digit the station sent.
    struct Coordinates
    {
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
    };

    // Three comma-separated decimal numbers (C locale, surrounding blanks
    // allowed). Anything else, including a part that is not a number or does
    // not fit a float, gives no position: a bad text must not become a point
    // at the origin.
    static std::optional<Coordinates> parse(const QString& text);

    // One coordinate as the point form shows it: the shortest text that
    // reads back as the value, so 1.5 stays "1.5" and 712345.674 keeps every
    // digit (six significant digits would move it by 33 cm).
    static QString formatCoordinate(double value);
    // The polygon vertex line: "x:1.5 y:2 z:3".
    static QString vertexText(const Coordinates& position);
};
