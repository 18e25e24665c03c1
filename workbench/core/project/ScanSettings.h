#pragma once

#include <QString>
#include <QStringList>

// The program-wide choices and camera constants that steer the reconstruction
// tool chain. One record per running program (global()); the project file
// stores most of it and the "Scan Settings" window edits it.
struct ScanSettings
{
    QString undistortMethod = QStringLiteral("None");
    QString featureDetector = QStringLiteral("SiftGPU");
    QString featureMatcher = QStringLiteral("SiftGPU");
    QString bundleAdjustment = QStringLiteral("MPBA");
    QString denseReconstruction = QStringLiteral("PMVS");
    bool displayOutput = false;
    double fx = 4882.14155;
    double fy = 4880.14355;
    double cx = 3007.18104;
    double cy = 2000.16274;
    double r1 = -0.09343;
    double r2 = 0.09508;
    double r3 = 0;
    double t1 = -0.00103;
    double t2 = 0.00097;
    QString imageFolder;
    QString syncFolder;

    static ScanSettings& global();

    static const QStringList& undistortChoices();
    static const QStringList& detectorChoices();
    static const QStringList& matcherChoices();
    static const QStringList& bundleAdjustmentChoices();
    static const QStringList& denseChoices();

    // Only "Bundler" selects Bundler; any other value selects VisualSfM with
    // parallel bundle adjustment.
    bool usesBundler() const { return bundleAdjustment == QLatin1String("Bundler"); }
    // "PMVS" selects the PMVS scripts; any other value the CMPMVS ones.
    bool usesPmvs() const { return denseReconstruction == QLatin1String("PMVS"); }

    bool operator==(const ScanSettings& o) const;
    bool operator!=(const ScanSettings& o) const { return !(*this == o); }
};
