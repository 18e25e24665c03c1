#include "core/pipeline/DenseResults.h"

#include <QDir>

#include "core/pipeline/CmpmvsScript.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"

namespace
{

QString modelsFolder(const PipelineLayout& layout)
{
    return layout.file(QStringLiteral("pmvs/models"));
}

QStringList filesIn(const QString& folder, const QStringList& patterns)
{
    QStringList out;
    for (const QString& name : QDir(folder).entryList(patterns, QDir::Files))
        out << folder + QLatin1Char('/') + name;
    return out;
}

} // namespace

QString DenseResults::missingPreparation(const PipelineLayout& layout, const ScanSettings& settings,
                                         const Written& written)
{
    // The PMVS tools of the prepare script leave the script that runs PMVS;
    // the CMPMVS ones the cameras and images that CMPMVS reads.
    const QStringList prepared = settings.usesPmvs()
                                     ? QStringList{QLatin1String(pmvsAllScript)}
                                     : QStringList{QLatin1String(CmpmvsScript::firstCameraFileName),
                                                   QLatin1String(CmpmvsScript::firstImageFileName)};
    for (const QString& file : prepared)
        if (!written(layout.file(file)))
            return layout.nativeFile(file);
    return QString();
}

QString DenseResults::missingModels(const PipelineLayout& layout, const ScanSettings& settings,
                                    const Written& written)
{
    if (!settings.usesPmvs()) {
        const QString model = QLatin1String(CmpmvsScript::modelFileName);
        return written(layout.file(model)) ? QString() : layout.nativeFile(model);
    }
    for (const QString& patch : patches(layout))
        if (written(patch))
            return QString();
    return layout.nativeFile(QStringLiteral("pmvs/models/")) + QStringLiteral("*patch");
}

QStringList DenseResults::patches(const PipelineLayout& layout)
{
    return filesIn(modelsFolder(layout), {QStringLiteral("*patch")});
}

QStringList DenseResults::outputs(const PipelineLayout& layout, const ScanSettings& settings)
{
    if (!settings.usesPmvs())
        return {layout.file(QLatin1String(CmpmvsScript::modelFileName))};
    return filesIn(modelsFolder(layout), {QStringLiteral("*.ply"), QStringLiteral("*.patch")});
}

QString DenseResults::timeLine(double seconds, int photos)
{
    return tr("Dense stage took %1 s for %2 photos: %3 s per photo")
        .arg(QString::number(seconds, 'f', 1))
        .arg(photos)
        .arg(QString::number(photos > 0 ? seconds / photos : 0.0, 'f', 1));
}
