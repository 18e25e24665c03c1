#pragma once

#include <osgGA/OrbitManipulator>

// Map-style navigation by mouse steps and keys. For now it navigates as the
// library's orbit manipulator; the stepping behaviour and the drag lock used
// by the picking controller come with the manipulators' own work.
class MapManipulator : public osgGA::OrbitManipulator
{
public:
    explicit MapManipulator(int flags = DEFAULT_SETTINGS) : osgGA::OrbitManipulator(flags) {}

    const char* className() const override { return "MapManipulator"; }
};
