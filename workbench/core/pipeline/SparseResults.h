#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

#include "core/georef/AccuracyReport.h"

class PipelineLayout;
struct ScanSettings;

// What follows a bundle adjustment that left its result: the record of what
// the result was made from, the run's stage times for the accuracy report,
// and for an NVM result the photos it left out and its place in survey
// coordinates from the photos' GPS. Each step says what it did or why it
// could not, as lines for the log.
class SparseResults
{
    Q_DECLARE_TR_FUNCTIONS(SparseResults)
public:
    // bundle/bundle.out or sparse.nvm, as the bundle adjustment writes it,
    // relative to the pipeline folder.
    static QString resultOf(const ScanSettings& settings);

    static QStringList finish(const PipelineLayout& layout, const ScanSettings& settings,
                              const QVector<AccuracyReport::Stage>& stageTimes);

    // "n of N photos registered in the reconstruction", naming those not
    // placed; empty when the NVM holds no camera.
    static QString registeredLine(const QString& nvmFile, const QStringList& imagePaths);
};
