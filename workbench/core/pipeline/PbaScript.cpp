#include "core/pipeline/PbaScript.h"

#include "core/platform/ExternalTools.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/ScriptFile.h"

namespace
{

QString visualSfm(const PipelineLayout& layout)
{
    return QStringLiteral("cmd /c ") +
           ScriptFile::quoted(ExternalTools::scriptPath(ExternalTools::Tool::VisualSfM, layout.appFolder()));
}

} // namespace

QString PbaScript::joinedName(const QString& firstBatchFile)
{
    const QString stem = firstBatchFile.left(firstBatchFile.lastIndexOf(QLatin1Char('.')));
    return stem.left(stem.size() - 2) + QStringLiteral(".txt");
}

QString PbaScript::calibration(const ScanSettings& s)
{
    if (s.undistortMethod != QLatin1String("OpenCV"))
        return QString();
    return QStringLiteral("+k=") + ScriptFile::number(s.fx, 10) + QLatin1Char(',') +
           ScriptFile::number(s.cx, 10) + QLatin1Char(',') + ScriptFile::number(s.fy, 10) + QLatin1Char(',') +
           ScriptFile::number(s.cy, 10);
}

QByteArray PbaScript::text(const PipelineLayout& layout, const ScanSettings& settings,
                           const QStringList& matchFiles, const QStringList& gpuMatchFiles)
{
    const auto q = &ScriptFile::quoted;
    const QString m = q(joinedName(matchFiles.value(0)));
    const QString g = q(joinedName(gpuMatchFiles.value(0)));
    QString typeMatches = QStringLiteral("type ");
    for (const QString& f : matchFiles)
        typeMatches += q(f) + QLatin1Char(' ');
    QString typeGpu = QStringLiteral("type ");
    for (const QString& f : gpuMatchFiles)
        typeGpu += q(f) + QLatin1Char(' ');
    return ScriptFile::join(
        {QStringLiteral("if exist ") + m + QStringLiteral(" rm ") + m, typeMatches + QStringLiteral("> ") + m,
         QStringLiteral("if exist ") + g + QStringLiteral(" rm ") + g, typeGpu + QStringLiteral("> ") + g,
         visualSfm(layout) + QStringLiteral(" sfm+import") + calibration(settings) + QLatin1Char(' ') +
             q(layout.nativeFile(QLatin1String(FocalList::fileName))) + QLatin1Char(' ') +
             q(layout.nativeFile(QStringLiteral("sparse.nvm"))) + QLatin1Char(' ') +
             q(layout.nativeFile(QStringLiteral("gpu_matches.init.txt")))},
        false);
}

QByteArray PbaScript::rerunText(const PipelineLayout& layout, const ScanSettings& settings)
{
    return (visualSfm(layout) + QStringLiteral(" sfm") + calibration(settings) + QLatin1Char(' ') +
            ScriptFile::quoted(layout.nativeFile(QLatin1String(FocalList::fileName))) + QLatin1Char(' ') +
            ScriptFile::quoted(layout.nativeFile(QStringLiteral("sparse.nvm"))) + QLatin1Char(' '))
        .toLocal8Bit();
}
