#include "core/project/ScanSettings.h"

ScanSettings& ScanSettings::global()
{
    static ScanSettings settings;
    return settings;
}

const QStringList& ScanSettings::undistortChoices()
{
    static const QStringList c{"None", "OpenCV"};
    return c;
}
const QStringList& ScanSettings::detectorChoices()
{
    static const QStringList c{"SiftGPU", "VLFeat", "Sift"};
    return c;
}
const QStringList& ScanSettings::matcherChoices()
{
    static const QStringList c{"SiftGPU", "Sift"};
    return c;
}
const QStringList& ScanSettings::bundleAdjustmentChoices()
{
    static const QStringList c{"Bundler", "MPBA"};
    return c;
}
const QStringList& ScanSettings::denseChoices()
{
    static const QStringList c{"PMVS", "CMPMVS", "SURE"};
    return c;
}

bool ScanSettings::operator==(const ScanSettings& o) const
{
    return undistortMethod == o.undistortMethod && featureDetector == o.featureDetector
        && featureMatcher == o.featureMatcher && bundleAdjustment == o.bundleAdjustment
        && denseReconstruction == o.denseReconstruction && displayOutput == o.displayOutput && fx == o.fx
        && fy == o.fy && cx == o.cx && cy == o.cy && r1 == o.r1 && r2 == o.r2 && r3 == o.r3 && t1 == o.t1
        && t2 == o.t2 && imageFolder == o.imageFolder && syncFolder == o.syncFolder;
}
