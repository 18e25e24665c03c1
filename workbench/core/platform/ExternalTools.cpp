#include "core/platform/ExternalTools.h"

#include <QSet>

#include <algorithm>

const std::vector<ExternalTools::Entry>& ExternalTools::table()
{
    static const std::vector<Entry> entries = {
        {Tool::ExifTool, "exiftool", "SfM/Undistort/exiftool.exe"},
        {Tool::Points2Archive, "Points2Archive", "Points2Archive.exe"},
        {Tool::OrthoDsm, "OrthoDsm", "OrthoDsm.exe"},
        {Tool::TriangulationUndistort, "radial undistortion for triangulation",
         "SfM/Triangulate/RadialUndistort.exe"},
        {Tool::Undistorter, "undistorter", "SfM/Undistort/undistort.exe"},
        {Tool::SiftGpu, "SiftGPU", "SfM/FeatureDetectors/SiftGPUMax.exe"},
        {Tool::Pairolo, "Pairolo matcher", "SfM/ImageMatching/Pairolo.exe"},
        {Tool::Bundler, "Bundler", "SfM/BundleAdjustment/Bundler/Bundler.exe"},
        {Tool::Bundle2Pmvs, "Bundle2PMVS", "SfM/BundleAdjustment/Bundler/Bundle2PMVS.exe"},
        {Tool::Bundle2Vis, "Bundle2Vis", "SfM/BundleAdjustment/Bundler/Bundle2Vis.exe"},
        {Tool::BundlerRadialUndistort, "RadialUndistort", "SfM/BundleAdjustment/Bundler/RadialUndistort.exe"},
        {Tool::Bundle2CmpmvsUpper, "Bundle2CMPMVS", "SfM/BundleAdjustment/Bundler/Bundle2CMPMVS.exe"},
        {Tool::Bundle2CmpmvsLower, "bundle2cmpmvs", "SfM/BundleAdjustment/Bundler/bundle2cmpmvs.exe"},
        {Tool::RadialUndistortCmp, "RadialUndistortCMP",
         "SfM/BundleAdjustment/Bundler/RadialUndistortCMP.exe"},
        {Tool::VisualSfM, "VisualSfM", "SfM/BundleAdjustment/PBA/VisualSfM.exe"},
        {Tool::PbaDriver, "bundle adjustment driver", "SfM/BundleAdjustment/PBA/driver_x64.exe"},
        {Tool::Cmvs, "CMVS", "SfM/DenseReconstruction/PMVS2/cmvs.exe"},
        {Tool::GenOption, "genOption", "SfM/DenseReconstruction/PMVS2/genOption.exe"},
        // Started by the pmvs/pmvs_all.bat script that genOption writes.
        {Tool::Pmvs, "PMVS", ""},
        {Tool::Cmpmvs, "CMPMVS", "SfM/DenseReconstruction/CMPMVS/CMPMVS.exe"},
    };
    return entries;
}

const ExternalTools::Entry& ExternalTools::entry(Tool tool)
{
    const auto& entries = table();
    const auto it =
        std::find_if(entries.begin(), entries.end(), [tool](const Entry& e) { return e.tool == tool; });
    // Every enumerator has a row; the table test keeps it that way.
    return it != entries.end() ? *it : entries.front();
}

QString ExternalTools::relativePath(Tool tool)
{
    return QString::fromLatin1(entry(tool).relativePath);
}

QString ExternalTools::path(Tool tool, const QString& appDir)
{
    const QString relative = relativePath(tool);
    if (relative.isEmpty())
        return QString();
    return appDir + QLatin1Char('/') + relative;
}

QString ExternalTools::scriptPath(Tool tool, const QString& appDir)
{
    QString p = path(tool, appDir);
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p;
}

QStringList ExternalTools::folders()
{
    QStringList result;
    QSet<QString> seen;
    for (const Entry& e : table()) {
        const QString relative = QString::fromLatin1(e.relativePath);
        const QStringList parts = relative.split(QLatin1Char('/'));
        QString folder;
        for (int i = 0; i + 1 < parts.size(); ++i) {
            folder += (i ? QStringLiteral("/") : QString()) + parts[i];
            if (!seen.contains(folder)) {
                seen.insert(folder);
                result << folder;
            }
        }
    }
    return result;
}
