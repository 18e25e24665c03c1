#pragma once
#include <QImage>
#include <QString>

// Draws one icon, chosen by its resource file name, as a square image.
class IconPainter
{
public:
    static QImage draw(const QString& name, int size);
};
