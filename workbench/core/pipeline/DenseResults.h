#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class PipelineLayout;
struct ScanSettings;

// What the dense stage leaves in the pipeline folder, PMVS's or CMPMVS's as
// the settings choose, and how long it took. written(file) tells a result of
// this run (present and written since its stage began) from one left over.
class DenseResults
{
    Q_DECLARE_TR_FUNCTIONS(DenseResults)
public:
    using Written = std::function<bool(const QString& fileName)>;

    // What the PMVS preparation leaves to run PMVS with.
    static constexpr const char* pmvsAllScript = "pmvs/pmvs_all.bat";

    // The first file the preparation should have written and did not (as
    // the user's system names it), or empty.
    static QString missingPreparation(const PipelineLayout& layout, const ScanSettings& settings,
                                      const Written& written);
    // The model the matcher should have written, or empty: CMPMVS's mesh, or
    // for PMVS any patch file.
    static QString missingModels(const PipelineLayout& layout, const ScanSettings& settings,
                                 const Written& written);
    // PMVS's patch files, by full path.
    static QStringList patches(const PipelineLayout& layout);
    // Every result of the stage, by full path: CMPMVS's mesh, or PMVS's
    // clouds and patch files.
    static QStringList outputs(const PipelineLayout& layout, const ScanSettings& settings);
    // "Dense stage took s s for n photos: t s per photo".
    static QString timeLine(double seconds, int photos);
};
