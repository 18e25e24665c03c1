#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include "core/annotation/RecordVolume.h"

// One field annotation: a find (a point with one position) or a locus
// outline (a polygon with its vertices), with the excavation attributes the
// forms collect and the day files carry.
struct AnnotationRecord {
    QString type; // "Points" or "Polygons"
    int id = 0;   // running number within its layer
    QString date;
    QString basket;
    QString edm;
    QString dCode;
    QString locusDesc; // polygons only
    QString locus;
    QString square;
    QString area;
    QString site;
    QString year;
    QString structure; // polygons only; never on a form, carried through files
    // World coordinates in double: survey grids need every millimetre.
    osg::Vec3d position;
    QVector<osg::Vec3d> vertices;
    // Polygons only: the volume last measured within the outline.
    RecordVolume volume;

    bool isPolygon() const { return type == QLatin1String("Polygons"); }
};
