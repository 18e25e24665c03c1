#include "BundlerScript.h"

#include <QStringList>

#include "BundlerOptions.h"
#include "ExternalTools.h"
#include "FocalList.h"
#include "PipelineLayout.h"
#include "ScriptFile.h"

QByteArray BundlerScript::text(const PipelineLayout& layout)
{
    return ScriptFile::join({QStringLiteral("mkdir ") + layout.nativeFile(QStringLiteral("bundle\\")),
                             ExternalTools::scriptPath(ExternalTools::Tool::Bundler, layout.appFolder()) +
                                 QLatin1Char(' ') + layout.nativeFile(QLatin1String(FocalList::fileName)) +
                                 QStringLiteral(" --options_file ") +
                                 layout.nativeFile(QLatin1String(BundlerOptions::fileName))},
                            false);
}
