#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class PipelineLayout;
struct ScanSettings;

// runBundlerPBA.bat joins the matcher batches' tables and runs VisualSfM's
// parallel bundle adjustment into sparse.nvm; rerunBundlerPBA.bat runs the
// adjustment again on the matches of an earlier run.
class PbaScript
{
public:
    static constexpr const char* fileName = "runBundlerPBA.bat";
    static constexpr const char* rerunFileName = "rerunBundlerPBA.bat";

    // matchFiles and gpuMatchFiles are the batches' tables in batch order.
    static QByteArray text(const PipelineLayout& layout, const ScanSettings& settings,
                           const QStringList& matchFiles, const QStringList& gpuMatchFiles);
    static QByteArray rerunText(const PipelineLayout& layout, const ScanSettings& settings);

    // The joined table named after a batch's: "x\matches.init_0.txt" gives "x\matches.init.txt".
    static QString joinedName(const QString& firstBatchFile);
    // "+k=fx,cx,fy,cy" with the undistort method "OpenCV", else empty.
    static QString calibration(const ScanSettings& settings);
};
