#pragma once
#include <QImage>
#include <QString>

// Draws one icon, chosen by its resource file name, as a square image.
class IconPainter
{
public:
    // Whether a drawing exists for this name; unknown names get a lettered placeholder.
    static bool knows(const QString& name);
    static QImage draw(const QString& name, int size);
};
