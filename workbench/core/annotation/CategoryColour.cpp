#include "core/annotation/CategoryColour.h"

#include <QHash>

namespace
{

const QHash<QString, osg::Vec4f>& namedColours()
{
    static const QHash<QString, osg::Vec4f> colours{
        {QStringLiteral("IN-INSTALLATION"), {1.0f, 1.0f, 0.0f, 0.8f}},
        {QStringLiteral("FL-FLOOR"), {1.0f, 1.0f, 0.5f, 0.8f}},
        {QStringLiteral("WA-WALL"), {0.3f, 0.3f, 0.3f, 0.8f}},
        {QStringLiteral("WF-WALL_COLLAPSE_FILL"), {0.8f, 0.3f, 0.3f, 0.8f}},
        {QStringLiteral("FS-FILL_OVER_SURFACE"), {0.0f, 0.5f, 0.0f, 0.8f}},
        {QStringLiteral("FI-FILL"), {0.0f, 1.0f, 0.0f, 0.8f}},
        {QStringLiteral("ML-METALLURGY_LAYER"), {0.5f, 0.5f, 0.5f, 0.8f}},
        {QStringLiteral("SK-SLAG_LAYER"), {0.2f, 0.2f, 0.2f, 0.8f}},
        {QStringLiteral("WC-WALL_COLLAPSE"), {0.0f, 1.0f, 1.0f, 0.8f}},
        {QStringLiteral("AA-ASH_LAYER"), {1.0f, 0.8f, 0.8f, 0.8f}},
        {QStringLiteral("TL-TOP_SOIL"), {0.5f, 1.0f, 0.5f, 0.8f}},
    };
    return colours;
}

bool isCapital(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

} // namespace

osg::Vec4f CategoryColour::colourOf(const QString& code)
{
    const auto named = namedColours().constFind(code);
    if (named != namedColours().constEnd())
        return *named;
    const int index = paletteIndex(code);
    return index < 0 ? neutral() : paletteEntry(index);
}

osg::Vec4f CategoryColour::paletteEntry(int index)
{
    if (index < 0 || index >= paletteSize)
        return neutral();
    const float r = 1.0f - float(index % 9) * 0.125f;
    const float g = 1.0f - float((index / 9) % 9) * 0.125f;
    const float b = 1.0f - float((index / 81) % 9) * 0.125f;
    return osg::Vec4f(r, g, b, 1.0f);
}

int CategoryColour::paletteIndex(const QString& code)
{
    if (code.size() < 2 || !isCapital(code[0]) || !isCapital(code[1]))
        return -1;
    return (code[0].unicode() - 'A') * 26 + (code[1].unicode() - 'A');
}
