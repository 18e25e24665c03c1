#pragma once

#include <osgGA/OrbitManipulator>

// The "Smart" entry of the manipulator set: the library's orbit manipulator
// under a name of our own.
class SmartManipulator : public osgGA::OrbitManipulator
{
public:
    explicit SmartManipulator(int flags = DEFAULT_SETTINGS) : osgGA::OrbitManipulator(flags) {}

    const char* className() const override { return "SmartManipulator"; }
};
