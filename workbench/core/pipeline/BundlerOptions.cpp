#include "core/pipeline/BundlerOptions.h"

#include <QStringList>

#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

QByteArray BundlerOptions::text(const PipelineLayout& layout)
{
    return ScriptFile::join(
        {QStringLiteral("--match_table ") + layout.nativeFile(QStringLiteral("matches.init.txt")),
         QStringLiteral("--output bundle.out"), QStringLiteral("--output_all bundle_"),
         QStringLiteral("--output_dir ") + layout.nativeFile(QStringLiteral("bundle")),
         QStringLiteral("--variable_focal_length"), QStringLiteral("--use_focal_estimate"),
         QStringLiteral("--constrain_focal"), QStringLiteral("--constrain_focal_weight 0.0001"),
         QStringLiteral("--estimate_distortion"), QStringLiteral("--run_bundle")},
        false);
}
