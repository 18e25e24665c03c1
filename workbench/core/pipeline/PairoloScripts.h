#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class PipelineLayout;

// runPairolo_i.bat: one matcher run per matchList_i.txt, writing the match
// tables matches.init_i.txt and gpu_matches.init_i.txt of its batch.
class PairoloScripts
{
public:
    static QString scriptName(int i); // "runPairolo_<i>.bat"
    // The batch's match tables as the scripts name them (native paths).
    static QString matchFile(const PipelineLayout& layout, int i);
    static QString gpuMatchFile(const PipelineLayout& layout, int i);

    // Old tables are removed first unless the GPU table of the batch exists.
    static QByteArray text(const PipelineLayout& layout, int i);

    // Joins the batches' tables (native paths, in batch order) into one table
    // at target, replacing an older one whole. False, with the reason, when a
    // batch cannot be read or the table cannot be written.
    static bool joinTables(const QStringList& batchFiles, const QString& target, QString* error);
};
