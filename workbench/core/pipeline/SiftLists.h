#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class PipelineLayout;

// The feature detection stage's inputs: the sfmlist_i.txt lists that share
// the images still without a feature file over the parallel SiftGPU runs, and
// SIFTGPU.bat that starts one run per list.
class SiftLists
{
public:
    static constexpr const char* scriptName = "SIFTGPU.bat";
    static QString listName(int i); // "sfmlist_<i>.txt"

    // The feature paths (native) whose file does not exist, in list order.
    static QStringList missingFeatures(const PipelineLayout& layout);
    // One line per feature file: its path without ".keyb", followed by "JPG".
    static QByteArray listText(const QStringList& features);
    // Writes the lists for the given feature files, split over the process
    // count; a list that cannot be written is passed over.
    static void writeLists(const PipelineLayout& layout, const QStringList& features);
    static QByteArray scriptText(const PipelineLayout& layout);
};
