#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

// The day bookkeeping of the annotation input: which point and polygon
// layers are the current day's, the next record ids, where their files lie,
// and the rules for turning form texts into record values.
class AnnotationStore
{
public:
    // What a change of date does: the new layer names and the date each form
    // is to show (an empty date leaves that form alone).
    struct DayChoice {
        bool changed = false;
        QString pointName;
        QString polygonName;
        QString pointFormDate;
        QString polygonFormDate;
    };

    explicit AnnotationStore(const QString& appFolder = QString());

    void setApplicationFolder(const QString& appFolder) { m_appFolder = appFolder; }
    QString applicationFolder() const { return m_appFolder; }
    // The application folder + "/project/": value files and day files.
    QString projectFolder() const { return m_appFolder + QStringLiteral("/project/"); }
    QString layerFile(const QString& layerName) const { return projectFolder() + layerName; }

    // type is LayerType::Points or LayerType::Polygons.
    QString layerName(LayerType::Code type) const;
    void setLayerName(LayerType::Code type, const QString& name);
    int nextId(LayerType::Code type) const;
    void setNextId(LayerType::Code type, int id);

    static QString pointSuffix() { return QStringLiteral("_sf.kml"); }
    static QString polygonSuffix() { return QStringLiteral("_dl.kml"); }

    // Keeps both forms on one date; the point form wins when both changed.
    DayChoice chooseDay(const QString& pointDate, const QString& polygonDate) const;
    void applyDay(const DayChoice& choice);

    // The basket after a record: the number + 1; a text that is no number counts as 0.
    static QString nextBasket(const QString& basket);
    // Empty when x, y, z are a usable position (stored in position), else the
    // message for the user.
    static QString positionError(const QString& x, const QString& y, const QString& z, osg::Vec3d* position);
    // Empty when the date can name a day file, else the message for the user.
    static QString dateError(const QString& date);

    // Rewrites the layer's day file with all its records, creating the
    // project folder when needed. The previous file stays whole on failure.
    bool writeLayer(LayerType::Code type, const QString& layerName, const QVector<AnnotationRecord>& records,
                    QString* error) const;

private:
    QString m_appFolder;
    QString m_pointName;
    QString m_polygonName;
    int m_pointNextId = 0;
    int m_polygonNextId = 0;
};
