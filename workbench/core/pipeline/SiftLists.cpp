#include "core/pipeline/SiftLists.h"

#include <QFileInfo>

#include "core/pipeline/BatchSplit.h"
#include "core/platform/ExternalTools.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

QString SiftLists::listName(int i)
{
    return QStringLiteral("sfmlist_%1.txt").arg(i);
}

QStringList SiftLists::missingFeatures(const PipelineLayout& layout)
{
    QStringList missing;
    for (const QString& feature : layout.featurePaths())
        if (!QFileInfo::exists(PipelineLayout::toLocal(feature)))
            missing << feature;
    return missing;
}

QByteArray SiftLists::listText(const QStringList& features)
{
    QStringList lines;
    for (const QString& feature : features)
        lines << feature.left(feature.size() - 4) + QStringLiteral("JPG");
    return ScriptFile::join(lines, false);
}

void SiftLists::writeLists(const PipelineLayout& layout, const QStringList& features)
{
    const QVector<QStringList> batches = BatchSplit::split(features, layout.processCount());
    for (int i = 0; i < batches.size(); ++i)
        ScriptFile::write(layout.file(listName(i)), listText(batches[i]));
}

QByteArray SiftLists::scriptText(const PipelineLayout& layout)
{
    const QString tool = ExternalTools::scriptPath(ExternalTools::Tool::SiftGpu, layout.appFolder());
    QByteArray out;
    for (int i = 0; i < layout.processCount(); ++i)
        out += (ScriptFile::quoted(tool) + QLatin1Char(' ') + ScriptFile::quoted(layout.file(listName(i))) +
                QLatin1Char('\n'))
                   .toLocal8Bit();
    return out;
}
