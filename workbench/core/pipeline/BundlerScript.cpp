#include "core/pipeline/BundlerScript.h"

#include <QStringList>

#include "core/pipeline/BundlerOptions.h"
#include "core/platform/ExternalTools.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

QByteArray BundlerScript::text(const PipelineLayout& layout)
{
    const auto q = &ScriptFile::quoted;
    return ScriptFile::join({QStringLiteral("mkdir ") + q(layout.nativeFile(QStringLiteral("bundle\\"))),
                             q(ExternalTools::scriptPath(ExternalTools::Tool::Bundler, layout.appFolder())) +
                                 QLatin1Char(' ') + q(layout.nativeFile(QLatin1String(FocalList::fileName))) +
                                 QStringLiteral(" --options_file ") +
                                 q(layout.nativeFile(QLatin1String(BundlerOptions::fileName)))},
                            false);
}
