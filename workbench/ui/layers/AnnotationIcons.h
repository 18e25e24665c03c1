#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The layer tree's icons of annotation records: a find shows its code's icon
// file, a locus outline a swatch in its category colour.
class AnnotationIcons
{
public:
    static QIcon pointIcon(const QString& appFolder, const QString& dCode);
    // 46 x 32, filled with the category colour.
    static QPixmap polygonSwatch(const QString& locusDesc);
};
