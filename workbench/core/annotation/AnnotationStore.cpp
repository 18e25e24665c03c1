#include "core/annotation/AnnotationStore.h"

#include <QDir>

#include <cmath>

#include "core/annotation/KmlWriter.h"

AnnotationStore::AnnotationStore(const QString& appFolder) : m_appFolder(appFolder) {}

QString AnnotationStore::layerName(LayerType::Code type) const
{
    return type == LayerType::Polygons ? m_polygonName : m_pointName;
}

void AnnotationStore::setLayerName(LayerType::Code type, const QString& name)
{
    (type == LayerType::Polygons ? m_polygonName : m_pointName) = name;
}

int AnnotationStore::nextId(LayerType::Code type) const
{
    return type == LayerType::Polygons ? m_polygonNextId : m_pointNextId;
}

void AnnotationStore::setNextId(LayerType::Code type, int id)
{
    (type == LayerType::Polygons ? m_polygonNextId : m_pointNextId) = id;
}

AnnotationStore::DayChoice AnnotationStore::chooseDay(const QString& pointDate,
                                                      const QString& polygonDate) const
{
    DayChoice choice;
    if (pointDate.isEmpty() && polygonDate.isEmpty())
        return choice;
    const QString pointName = pointDate + pointSuffix();
    const QString polygonName = polygonDate + polygonSuffix();
    if (pointName == m_pointName && polygonName == m_polygonName)
        return choice;
    if (!pointDate.isEmpty() && pointName != m_pointName) {
        choice.pointName = pointName;
        choice.polygonName = pointDate + polygonSuffix();
        choice.polygonFormDate = pointDate;
    } else if (!polygonDate.isEmpty() && polygonName != m_polygonName) {
        choice.pointName = polygonDate + pointSuffix();
        choice.polygonName = polygonName;
        choice.pointFormDate = polygonDate;
    } else {
        // One date was cleared while the other still names the current day:
        // the day stays, and the cleared form gets its date back rather than
        // a layer named "_sf.kml" or "_dl.kml" being made.
        if (pointDate.isEmpty())
            choice.pointFormDate = polygonDate;
        else
            choice.polygonFormDate = pointDate;
        return choice;
    }
    choice.changed = true;
    return choice;
}

void AnnotationStore::applyDay(const DayChoice& choice)
{
    if (!choice.changed)
        return;
    m_pointName = choice.pointName;
    m_polygonName = choice.polygonName;
}

QString AnnotationStore::nextBasket(const QString& basket)
{
    bool ok = false;
    const qlonglong value = basket.trimmed().toLongLong(&ok);
    return QString::number((ok ? value : 0) + 1);
}

QString AnnotationStore::positionError(const QString& x, const QString& y, const QString& z,
                                       osg::Vec3d* position)
{
    const QString texts[3] = {x.trimmed(), y.trimmed(), z.trimmed()};
    for (const QString& t : texts)
        if (t.isEmpty() || t == QLatin1String("0"))
            return QStringLiteral("Spatial Data cannot be Empty or 0!");
    osg::Vec3d p;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double value = texts[i].toDouble(&ok);
        // A typing slip must not become a find at 0 or at infinity; the
        // value itself is kept to the last digit typed.
        if (!ok || !std::isfinite(float(value)))
            return QStringLiteral("Spatial Data must be numbers!");
        p[i] = value;
    }
    if (position)
        *position = p;
    return QString();
}

QString AnnotationStore::dateError(const QString& date)
{
    if (date.trimmed().isEmpty())
        return QStringLiteral("Date cannot be Empty!");
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar c : date)
        if (forbidden.contains(c) || c.unicode() < 0x20)
            return QStringLiteral("Date cannot name a day file: %1").arg(date);
    return QString();
}

bool AnnotationStore::writeLayer(LayerType::Code type, const QString& layerName,
                                 const QVector<AnnotationRecord>& records, QString* error) const
{
    if (!QDir().mkpath(projectFolder())) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(projectFolder());
        return false;
    }
    return KmlWriter::writeFile(layerFile(layerName), type, layerName, records, error);
}
