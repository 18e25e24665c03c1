#pragma once

#include <QByteArray>
#include <QString>

class PipelineLayout;
struct ScanSettings;

// The dense stage's prepare script: converts the sparse result (Bundler's
// bundle.out or VisualSfM's sparse.nvm) into the dense matcher's input and
// undistorts the images. prepare_pmvs2.bat, prepare_pmvs2pba.bat,
// prepare_cmpmvs.bat or prepare_pba2cmpmvs.bat, by dense method and bundle
// adjustment.
class DensePrepareScript
{
public:
    static QString fileName(const ScanSettings& settings);
    static QByteArray text(const PipelineLayout& layout, const ScanSettings& settings);
};
