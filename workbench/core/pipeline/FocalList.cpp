#include "core/pipeline/FocalList.h"

#include <QFile>

#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/ScriptFile.h"

QByteArray FocalList::text(const PipelineLayout& layout, const ScanSettings& settings)
{
    const QString focal =
        settings.usesBundler() ? QStringLiteral(" 0 ") + ScriptFile::number(settings.fx) : QString();
    QStringList lines;
    for (const QString& image : layout.imagePaths())
        lines << ScriptFile::quoted(PipelineLayout::jpgName(PipelineLayout::toNative(image))) + focal;
    return ScriptFile::join(lines, false);
}

bool FocalList::write(const PipelineLayout& layout, const ScanSettings& settings)
{
    const QString list = layout.file(QLatin1String(fileName));
    if (QFile::exists(list))
        QFile::copy(list, layout.file(QLatin1String(oldFileName))); // never replaces an older copy
    return ScriptFile::write(list, text(layout, settings));
}
