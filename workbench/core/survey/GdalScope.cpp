#include "core/survey/GdalScope.h"

#include "common/files/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cpl_error.h>
#include <gdal_priv.h>

#include <string>

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
    const QString suffix = QFileInfo(path).suffix();
    return QFile::decodeName(
        AtomicFile::temporaryName(QFile::encodeName(path).toStdString(),
                                  suffix.isEmpty() ? std::string() : "." + suffix.toStdString())
            .c_str());
}

bool GdalScope::commit(const QString& part, const QString& path, QString* error)
{
    std::string why;
    if (AtomicFile::commit(QFile::encodeName(part).toStdString(), QFile::encodeName(path).toStdString(),
                           &why))
        return true;
    if (error)
        *error = path + QStringLiteral(": cannot put the finished file in place (") +
                 QFile::decodeName(why.c_str()) + QLatin1Char(')');
    return false;
}
