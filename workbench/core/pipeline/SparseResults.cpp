#include "core/pipeline/SparseResults.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "core/formats/NvmLens.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GpsGeoreference.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/products/ProductRecord.h"
#include "core/products/ProductStatus.h"
#include "core/project/ScanSettings.h"

QString SparseResults::resultOf(const ScanSettings& settings)
{
    return settings.usesBundler() ? QStringLiteral("bundle/bundle.out") : QStringLiteral("sparse.nvm");
}

QStringList SparseResults::finish(const PipelineLayout& layout, const ScanSettings& settings,
                                  const QVector<AccuracyReport::Stage>& stageTimes)
{
    QStringList lines;
    const QString result = resultOf(settings);
    const QString folder = layout.pipelineFolder();
    QString error;
    if (!ProductRecord::make(folder, QLatin1String(ProductRecord::sparse), layout.imagePaths(), {result},
                             settings.bundleAdjustment)
             .write(folder, &error))
        lines << tr("The record of what %1 was made from was not written: %2").arg(result, error);
    // For the accuracy report, which the window writes once the georeference stands.
    if (!AccuracyReport::writeStages(folder, stageTimes, &error))
        lines << tr("The stage times were not written: %1").arg(error);
    if (settings.usesBundler())
        return lines;

    const QString nvm = layout.file(QStringLiteral("sparse.nvm"));
    // An earlier adjustment's lens belongs to the reconstruction this run replaced.
    const QString lens = QString::fromStdString(NvmLens::pathFor(QFile::encodeName(nvm).toStdString()));
    if (QFileInfo::exists(lens) && !QFile::remove(lens))
        lines << tr("%1 describes the previous reconstruction's cameras but cannot be removed").arg(lens);
    const QString registered = registeredLine(nvm, layout.imagePaths());
    if (!registered.isEmpty())
        lines << registered;
    // Photos with GPS place the reconstruction in survey coordinates at once.
    const GpsGeoreference::Outcome geo = GpsGeoreference::run(nvm);
    if (geo.withGps > 0)
        lines << geo.message;
    const ProductStatus placement = ProductStatus::of(nvm);
    if (placement.stale)
        lines << placement.reason;
    return lines;
}

QString SparseResults::registeredLine(const QString& nvmFile, const QStringList& imagePaths)
{
    SparseBundle bundle;
    if (!NvmReader::readBundle(nvmFile, bundle, nullptr) || bundle.bundleCameras.empty())
        return QString();
    QSet<QString> registered;
    for (const auto& camera : bundle.bundleCameras.front())
        registered.insert(QFileInfo(QString::fromStdString(camera->name)).fileName().toLower());
    QStringList left;
    for (const QString& path : imagePaths)
        if (!registered.contains(QFileInfo(path).fileName().toLower()))
            left << QFileInfo(path).fileName();
    const int listed = imagePaths.size();
    return tr("%1 of %2 photos registered in the reconstruction").arg(listed - left.size()).arg(listed) +
           (left.isEmpty() ? QString() : tr("; not placed: %1").arg(left.join(QStringLiteral(", "))));
}
