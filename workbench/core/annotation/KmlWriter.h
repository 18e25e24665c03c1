#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

class QIODevice;

// Writes an annotation layer as the small KML document our day files use:
// one Placemark per record, the attributes as "key: value" lines in its
// description, coordinates in the scene's own frame.
class KmlWriter
{
public:
    // type is LayerType::Points or LayerType::Polygons.
    static bool write(QIODevice& device, LayerType::Code type, const QString& layerName,
                      const QVector<AnnotationRecord>& records);
    // Replaces the file only when the whole document was written: a failed
    // write leaves the previous file as it was. False with a message on failure.
    static bool writeFile(const QString& path, LayerType::Code type, const QString& layerName,
                          const QVector<AnnotationRecord>& records, QString* error = nullptr);

    // "x,y,z" of every vertex, separated by blanks, then the first vertex
    // again to close the ring.
    static QString ringText(const QVector<osg::Vec3d>& vertices);
    // The shortest text that reads back as value, C locale: 1.5 stays "1.5",
    // 712345.674 keeps its millimetres.
    static QString number(double value);
    static QString pointDescription(const AnnotationRecord& record);
    static QString polygonDescription(const AnnotationRecord& record);
};
