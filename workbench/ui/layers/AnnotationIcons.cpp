#include "ui/layers/AnnotationIcons.h"

#include <QColor>

#include "core/annotation/CategoryColour.h"
#include "core/annotation/DCodeIcon.h"

QIcon AnnotationIcons::pointIcon(const QString& appFolder, const QString& dCode)
{
    return QIcon(DCodeIcon::path(appFolder, dCode));
}

QPixmap AnnotationIcons::polygonSwatch(const QString& locusDesc)
{
    const osg::Vec4f c = CategoryColour::colourOf(locusDesc);
    QPixmap swatch(46, 32);
    swatch.fill(QColor(int(c.r() * 255.0f), int(c.g() * 255.0f), int(c.b() * 255.0f)));
    return swatch;
}
