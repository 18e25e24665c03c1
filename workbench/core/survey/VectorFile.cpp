#include "core/survey/VectorFile.h"

#include <QFile>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "core/survey/GdalScope.h"

VectorFile::~VectorFile()
{
    abandon();
}

bool VectorFile::create(const QString& path, const char* driver, QString* error)
{
    abandon();
    GDALAllRegister();
    GDALDriver* d = GetGDALDriverManager()->GetDriverByName(driver);
    if (!d) {
        if (error)
            *error = QStringLiteral("GDAL has no %1 driver").arg(QString::fromLatin1(driver));
        return false;
    }
    m_path = path;
    m_part = GdalScope::partName(path);
    QFile::remove(m_part);
    m_dataset = d->Create(QFile::encodeName(m_part).constData(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!m_dataset) {
        if (error)
            *error = path + QStringLiteral(": cannot be written: ") + GdalScope::reason();
        QFile::remove(m_part);
        return false;
    }
    m_finished = false;
    return true;
}

OGRLayer* VectorFile::addLayer(const char* name, OGRwkbGeometryType type, const OGRSpatialReference* srs,
                               QString* error, char** options)
{
    OGRLayer* layer = m_dataset
                          ? m_dataset->CreateLayer(name, const_cast<OGRSpatialReference*>(srs), type, options)
                          : nullptr;
    if (!layer && error)
        *error = m_path + QStringLiteral(": cannot make the layer %1: ").arg(QString::fromUtf8(name)) +
                 GdalScope::reason();
    return layer;
}

bool VectorFile::finish(QString* error)
{
    if (!m_dataset)
        return m_finished;
    const bool ok = GdalScope::close(m_dataset);
    m_dataset = nullptr;
    if (!ok) {
        if (error)
            *error = m_path + QStringLiteral(": ") + GdalScope::reason();
        QFile::remove(m_part);
        return false;
    }
    m_finished = true;
    return true;
}

bool VectorFile::commit(QString* error)
{
    if (!m_finished && !finish(error))
        return false;
    m_finished = false;
    const bool ok = GdalScope::commit(m_part, m_path, error);
    m_part.clear();
    return ok;
}

void VectorFile::abandon()
{
    if (m_dataset) {
        GdalScope::close(m_dataset);
        m_dataset = nullptr;
    }
    if (!m_part.isEmpty() && (m_finished || QFile::exists(m_part)))
        QFile::remove(m_part);
    m_finished = false;
    m_part.clear();
}

bool VectorFile::systemOf(int epsg, OGRSpatialReference& srs, QString* error)
{
    if (epsg <= 0 || srs.importFromEPSG(epsg) != OGRERR_NONE) {
        if (error)
            *error = QStringLiteral("The reference system EPSG:%1 is unknown to PROJ.").arg(epsg);
        return false;
    }
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return true;
}
