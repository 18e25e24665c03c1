#pragma once

#include <osg/Vec3d>

#include <QString>

// The scene's one double-precision origin. Survey sites sit at projected
// grid coordinates (UTM: x = 712345.674, y = 4123456.781), where a float
// steps by 6 cm and 25 cm: layers whose coordinates are that large keep
// their vertices as floats relative to this origin, under a transform that
// adds it back. It is chosen from the first large layer, so every layer
// lines up with the others.
class SceneOrigin
{
public:
    // Coordinates beyond this (in metres) are large.
    static constexpr double largeCoordinate = 1.0e5;
    // The origin is a corner of the kilometre grid: short to say, and the
    // floats of a site around it stay small.
    static constexpr double gridStep = 1000.0;
    // No survey grid reaches this far (geocentric coordinates stay below
    // 10^7 m); a point beyond it is an outlier, never the origin.
    static constexpr double largestOrigin = 1.0e9;

    SceneOrigin() = default;
    explicit SceneOrigin(const osg::Vec3d& value) : m_value(value), m_set(true) {}

    bool isSet() const { return m_set; }
    // Zero until set.
    const osg::Vec3d& value() const { return m_value; }
    void set(const osg::Vec3d& value)
    {
        m_value = value;
        m_set = true;
    }
    void clear() { *this = SceneOrigin(); }

    // Large, but not beyond largestOrigin.
    static bool isLarge(const osg::Vec3d& p);
    // The origin a point chooses: each coordinate rounded to the grid, so
    // small ones (heights, usually) give 0.
    static osg::Vec3d gridCorner(const osg::Vec3d& p);
    // Where a node built around p (an outline, a marker) is best placed:
    // its grid corner when p is large, else the true origin.
    static osg::Vec3d localOriginFor(const osg::Vec3d& p);

    // "712000, 4123000, 0".
    QString text() const;

    bool operator==(const SceneOrigin& other) const
    {
        return m_set == other.m_set && m_value == other.m_value;
    }

private:
    osg::Vec3d m_value;
    bool m_set = false;
};
