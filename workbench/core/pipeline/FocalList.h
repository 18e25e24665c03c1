#pragma once

#include <QByteArray>

class PipelineLayout;
struct ScanSettings;

// listfocal.txt: the images of the run by their JPG names, for Bundler with
// the focal length; listfocal_old.txt keeps the list of an earlier run.
class FocalList
{
public:
    static constexpr const char* fileName = "listfocal.txt";
    static constexpr const char* oldFileName = "listfocal_old.txt";

    static QByteArray text(const PipelineLayout& layout, const ScanSettings& settings);
    // Copies an existing list to listfocal_old.txt (an existing copy is kept),
    // then writes the new one. False when listfocal.txt cannot be written.
    static bool write(const PipelineLayout& layout, const ScanSettings& settings);
};
