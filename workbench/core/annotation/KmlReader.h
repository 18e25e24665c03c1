#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

class QIODevice;
class QXmlStreamReader;

// Reads an annotation layer back from KML: our own day files, and the
// placemarks of KML made elsewhere (Google Earth, GDAL) as far as they hold
// points or polygons.
class KmlReader
{
public:
    struct Result {
        QVector<AnnotationRecord> records;
        QString error;   // empty when the whole document was read
        int skipped = 0; // placemarks without a geometry of the expected type
    };

    // expected is LayerType::Points or LayerType::Polygons. On an XML error
    // the records read up to it are kept and error says where it stopped.
    static Result read(QIODevice& device, LayerType::Code expected);
    static Result readFile(const QString& path, LayerType::Code expected);

    // "key: value" lines into a record; a the_geom line makes it a point.
    static AnnotationRecord parseDescription(const QString& text);
    // Blank-separated "x,y,z" (or "x,y") tuples; a last tuple repeating the
    // first one only closes the ring and is not a vertex.
    static QVector<osg::Vec3d> parseRing(const QString& text);
    static osg::Vec3d parseTuple(const QString& text);

    // Folders and multi-geometries may nest, but a file nesting them deeper
    // than this is refused rather than followed down to a stack overflow.
    static constexpr int maxNesting = 100;

    static QString notKmlMessage() { return QStringLiteral("The file is not a KML version 1.0 file."); }

private:
    static void readContainer(QXmlStreamReader& xml, LayerType::Code expected, Result& result,
                              bool printNames, int depth);
    static void readPlacemark(QXmlStreamReader& xml, LayerType::Code expected, Result& result);
};
