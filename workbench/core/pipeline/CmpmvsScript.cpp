#include "core/pipeline/CmpmvsScript.h"

#include <QStringList>

#include "core/platform/ExternalTools.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

QByteArray CmpmvsScript::text(const PipelineLayout& layout)
{
    const QString tool = ExternalTools::scriptPath(ExternalTools::Tool::Cmpmvs, layout.appFolder());
    const QString toolFolder = tool.left(tool.lastIndexOf(QLatin1Char('\\')) + 1);
    return ScriptFile::join({QStringLiteral("@ECHO off "),
                             QStringLiteral("cd ") + ScriptFile::quoted(toolFolder) + QLatin1Char(' '),
                             ScriptFile::quoted(tool) + QLatin1Char(' ') +
                                 ScriptFile::quoted(layout.nativeFile(QLatin1String(iniFileName)))},
                            false);
}

QByteArray CmpmvsScript::iniText(const PipelineLayout& layout)
{
    // The values are those of the tool set's own example; they do not follow
    // the project's cameras or image size.
    return ScriptFile::join(
        {QStringLiteral("[global]"),
         QStringLiteral("dirName='") + layout.nativeFolder() + QStringLiteral("cmpmvs\\data\\'"),
         QStringLiteral("prefix=''"),
         QStringLiteral("imgExt='jpg'"),
         QStringLiteral("ncams=3"),
         QStringLiteral("width=6000"),
         QStringLiteral("height=4000"),
         QStringLiteral("scale=1"),
         QStringLiteral("workDirName='_tmp'"),
         QStringLiteral("doPrepareData=TRUE"),
         QStringLiteral("doPrematchSifts=TRUE"),
         QStringLiteral("doPlaneSweepingSGM=TRUE"),
         QStringLiteral("doFuse=TRUE"),
         QStringLiteral("nTimesSimplify=10"),
         QStringLiteral("[uvatlas]"),
         QStringLiteral("texSide=4096"),
         QStringLiteral("scale=1"),
         QStringLiteral("[prematching]"),
         QStringLiteral("minAngle=3.0"),
         QStringLiteral("[grow]"),
         QStringLiteral("minNumOfConsistentCams=6"),
         QStringLiteral("[filter]"),
         QStringLiteral("minNumOfConsistentCams=2"),
         QStringLiteral("[hallucinationsFiltering]"),
         QStringLiteral("useSkyPrior=FALSE"),
         QStringLiteral("doLeaveLargestFullSegmentOnly=FALSE"),
         QStringLiteral("doRemoveHugeTriangles=TRUE"),
         QStringLiteral("[largeScale]"),
         QStringLiteral("doGenerateAndReconstructSpaceMaxPts=TRUE"),
         QStringLiteral("doGenerateSpace=TRUE"),
         QStringLiteral("planMaxPts=3000000"),
         QStringLiteral("[generateVideoFrames]"),
         QStringLiteral("nintermed=20"),
         QStringLiteral("[DEM]"),
         QStringLiteral("demW=8000"),
         QStringLiteral("demH=8000"),
         QString(),
         QStringLiteral("#EOF")},
        true);
}
