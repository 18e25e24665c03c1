#include "core/survey/GdalScope.h"

#include <QFile>
#include <QFileInfo>

#include <cpl_error.h>
#include <gdal_priv.h>

#include <cstdio>

GdalScope::GdalScope()
{
    GDALAllRegister();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

GdalScope::~GdalScope()
{
    CPLPopErrorHandler();
}

QString GdalScope::reason()
{
    const QString text = QString::fromLocal8Bit(CPLGetLastErrorMsg());
    return text.isEmpty() ? QStringLiteral("GDAL gives no reason") : text;
}

bool GdalScope::close(GDALDataset* dataset)
{
    if (!dataset)
        return true;
    CPLErrorReset();
    GDALClose(GDALDataset::ToHandle(dataset));
    return CPLGetLastErrorType() < CE_Failure;
}

QString GdalScope::partName(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    return base + QStringLiteral(".part") + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

bool GdalScope::commit(const QString& part, const QString& path, QString* error)
{
    // rename() replaces in one step: the old result stays until the new one is whole.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(part);
        if (error)
            *error = path + QStringLiteral(": cannot put the finished file in place");
        return false;
    }
    return true;
}
