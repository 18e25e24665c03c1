#include "core/pipeline/PairoloScripts.h"

#include <QFileInfo>

#include "core/pipeline/MatchPlan.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"
#include "core/platform/ExternalTools.h"

QString PairoloScripts::scriptName(int i)
{
    return QStringLiteral("runPairolo_%1.bat").arg(i);
}

QString PairoloScripts::matchFile(const PipelineLayout& layout, int i)
{
    const QString table = layout.nativeFile(QStringLiteral("matches.init.txt"));
    return table.left(table.lastIndexOf(QLatin1Char('.'))) + QStringLiteral("_%1.txt").arg(i);
}

QString PairoloScripts::gpuMatchFile(const PipelineLayout& layout, int i)
{
    const QString m = matchFile(layout, i);
    const int cut = m.lastIndexOf(QLatin1Char('\\'));
    return m.left(cut) + QStringLiteral("\\gpu_") + m.mid(cut + 1);
}

QByteArray PairoloScripts::text(const PipelineLayout& layout, int i)
{
    const QString m = ScriptFile::quoted(matchFile(layout, i));
    const QString g = ScriptFile::quoted(gpuMatchFile(layout, i));
    QString out;
    if (!QFileInfo::exists(PipelineLayout::toLocal(gpuMatchFile(layout, i))))
        out += QStringLiteral("if exist ") + m + QStringLiteral(" rm ") + m + QLatin1Char('\n') +
               QStringLiteral("if exist ") + g + QStringLiteral(" rm ") + g + QLatin1Char('\n');
    out += ScriptFile::quoted(ExternalTools::scriptPath(ExternalTools::Tool::Pairolo, layout.appFolder())) +
           QLatin1Char(' ') + ScriptFile::quoted(layout.nativeFile(MatchPlan::listName(i))) +
           QLatin1Char(' ') + m;
    return out.toLocal8Bit();
}
