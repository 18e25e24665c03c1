#pragma once

#include <QString>

#include <osg/Vec4f>

// The colour a locus category code is drawn in: the named categories have
// their own colours, every other code takes an entry of a 729-colour palette
// chosen by its first two letters.
class CategoryColour
{
public:
    static constexpr int paletteSize = 729; // 9 x 9 x 9

    // RGBA in 0..1. Codes are compared exactly, with case.
    static osg::Vec4f colourOf(const QString& code);
    // Entry i: R, G, B step down by 1/8 along the three base-9 digits of i.
    static osg::Vec4f paletteEntry(int index);
    // (first - 'A') * 26 + (second - 'A') when the code begins with two
    // capital letters A-Z, otherwise -1.
    static int paletteIndex(const QString& code);
    // For codes without a palette entry (digits, lower case, too short): a
    // grey that no named category and no palette entry uses.
    static osg::Vec4f neutral() { return osg::Vec4f(0.6f, 0.6f, 0.6f, 1.0f); }
};
