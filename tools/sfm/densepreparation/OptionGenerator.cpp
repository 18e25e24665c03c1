#include "OptionGenerator.h"

#include <cstdio>
#include <ostream>

#include "common/files/AtomicFile.h"
#include "ImageClusters.h"
#include "ProgressLine.h"
#include "ToolArguments.h"
#include "ToolLocation.h"

namespace
{
std::string word(const std::string& text)
{
    return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}
} // namespace

bool OptionGenerator::parse(const std::vector<std::string>& words, PmvsOptions& options, std::string* error)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (words.size() != 6)
        return fail("expected level csize threshold wsize minImageNum cpus, got " +
                    std::to_string(words.size()) + " values");
    const char* names[6] = {"level", "csize", "threshold", "wsize", "minImageNum", "cpus"};
    int* ints[6] = {&options.level, &options.csize,       nullptr,
                    &options.wsize, &options.minImageNum, &options.cpus};
    for (int i = 0; i < 6; ++i) {
        const bool ok = ints[i] ? ToolArguments::toInt(words[size_t(i)], *ints[i])
                                : ToolArguments::toDouble(words[2], options.threshold);
        if (!ok)
            return fail(std::string(names[i]) + " is not a number: " + words[size_t(i)]);
    }
    options.timages = {0}; // checked here, replaced per cluster
    return options.check(error);
}

bool OptionGenerator::write(const DenseLayout& layout, const std::string& folderArg,
                            const PmvsOptions& options, std::string* error, std::ostream* log)
{
    ImageClusters clusters;
    if (!clusters.readFile(layout.folder() + "ske.dat", error))
        return false;
    if (clusters.clusters.empty()) {
        if (error)
            *error = layout.folder() + "ske.dat holds no cluster";
        return false;
    }
    std::string script = "@ECHO off\n";
    const std::string pmvs2 = word(ToolLocation::scriptPath(ToolLocation::programFolder() + "pmvs2.exe"));
    for (size_t i = 0; i < clusters.clusters.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "option-%04d", int(i));
        PmvsOptions cluster = options;
        cluster.timages = clusters.clusters[i].targets;
        cluster.oimages = clusters.clusters[i].others;
        if (!AtomicFile::write(layout.folder() + name, cluster.text(), error))
            return false;
        // The workbench reads the clusters' progress from these lines.
        script += "ECHO " + ProgressLine::text("", i, clusters.clusters.size(), "clusters") + "\n" + pmvs2 +
                  " " + word(folderArg) + " " + name + "\n";
        if (log)
            *log << name << ": " << cluster.timages.size() << " target and " << cluster.oimages.size()
                 << " other images\n";
    }
    script +=
        "ECHO " + ProgressLine::text("", clusters.clusters.size(), clusters.clusters.size(), "clusters");
    return AtomicFile::write(layout.folder() + "pmvs_all.bat", script, error);
}
