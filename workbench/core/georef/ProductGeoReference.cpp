#include "core/georef/ProductGeoReference.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "core/products/ProductRecord.h"
#include "core/products/ProductStatus.h"

QString ProductGeoReference::companionOf(const QString& cloudFile)
{
    QString folder, stage;
    if (!ProductStatus::locate(cloudFile, &folder, &stage) || stage != QLatin1String(ProductRecord::dense))
        return QString();
    const QString companion = QDir(folder).filePath(QStringLiteral("sparse.txt"));
    if (!QFileInfo::exists(companion) ||
        !QFileInfo::exists(QDir(folder).filePath(QStringLiteral("sparse.nvm"))))
        return QString();
    ProductRecord record;
    if (ProductRecord::read(folder, QLatin1String(ProductRecord::dense), &record))
        return record.madeFile(ProductRecord::relative(folder, cloudFile)) ? companion : QString();
    // Dense results of a run that left no record: the names the matchers give them.
    static const QRegularExpression denseNames(
        QStringLiteral("^(pmvs/models/option-\\d{4}|cmpmvs/models/mvs)\\.[^./]+$"));
    return denseNames.match(ProductRecord::relative(folder, cloudFile)).hasMatch() ? companion : QString();
}
