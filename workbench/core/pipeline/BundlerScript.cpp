#include "core/pipeline/BundlerScript.h"

#include <QStringList>

#include "core/pipeline/BundlerOptions.h"
#include "core/platform/ExternalTools.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

QByteArray BundlerScript::text(const PipelineLayout& layout)
{
    return ScriptFile::join({QStringLiteral("mkdir ") + layout.nativeFile(QStringLiteral("bundle\\")),
                             ExternalTools::scriptPath(ExternalTools::Tool::Bundler, layout.appFolder()) +
                                 QLatin1Char(' ') + layout.nativeFile(QLatin1String(FocalList::fileName)) +
                                 QStringLiteral(" --options_file ") +
                                 layout.nativeFile(QLatin1String(BundlerOptions::fileName))},
                            false);
}
