#pragma once

#include <QString>

#include <optional>

// A position the ground station sent as text "x,y,z", read the way the
// point and polygon inputs take it.
class ServerPosition
{
public:
    struct Coordinates
    {
        float x = 0.0f;
        float y = 0.0f;
        float z = 0.0f;
    };

    // Three comma-separated decimal numbers (C locale, surrounding blanks
    // allowed). Anything else, including a part that is not a number or does
    // not fit a float, gives no position: a bad text must not become a point
    // at the origin.
    static std::optional<Coordinates> parse(const QString& text);

    // One coordinate as the point form shows it: 'g' with 6 significant digits.
    static QString formatCoordinate(float value);
    // The polygon vertex line: "x:1.5 y:2 z:3".
    static QString vertexText(const Coordinates& position);
};
