#include "PairoloRun.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "GpuMatchFile.h"
#include "KeybFile.h"
#include "MatchTableFile.h"
#include "PairSelection.h"
#include "ParallelFor.h"
#include "ToolPaths.h"

namespace
{

struct PairLine {
    std::string featureA; // as written
    std::string featureB;
    int indexA = 0;
    int indexB = 0;
};

struct Image {
    std::string written; // the .keyb path as the list writes it
    std::shared_ptr<const PairMatcher::Prepared> prepared;
    std::string imagePath; // for the viewer's records, backslashes
    std::string problem;
};

// The image path for the viewer's records: the .keyb's folder as written
// with the image's own file name, in backslashes.
std::string recordPath(const std::string& writtenKeyb, const std::string& imageName)
{
    const auto slash = writtenKeyb.find_last_of("/\\");
    std::string path =
        (slash == std::string::npos ? std::string() : writtenKeyb.substr(0, slash + 1)) + imageName;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool readPairs(const std::string& path, std::vector<PairLine>& pairs, std::string& problem)
{
    std::ifstream list(ToolPaths::native(path), std::ios::binary);
    if (!list) {
        problem = "cannot read the pair list " + path;
        return false;
    }
    int number = 0;
    for (std::string line; std::getline(list, line);) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::istringstream words(line);
        PairLine p;
        std::string extra;
        if (!(words >> p.featureA >> p.featureB >> p.indexA >> p.indexB) || p.indexA < 0 || p.indexB < 0 ||
            (words >> extra)) {
            problem = path + " line " + std::to_string(number) + " is not \"featureA featureB indexA indexB\"";
            return false;
        }
        pairs.push_back(p);
    }
    return true;
}

// The other batches of the same plan: the workbench splits the pairs over
// matchList_0.txt, matchList_1.txt ... in one folder, run at once by
// several Pairolo processes. Each reads them all and chooses the same pairs.
std::vector<std::string> batchLists(const std::string& matchListPath)
{
    const std::string native = ToolPaths::native(matchListPath);
    const std::string folder = ToolPaths::folderOf(native);
    const std::string name = native.substr(folder.size());
    const size_t dot = name.rfind('.');
    size_t digits = dot == std::string::npos ? name.size() : dot;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    const size_t end = dot == std::string::npos ? name.size() : dot;
    if (digits == end || digits == 0)
        return {native};
    const std::string prefix = name.substr(0, digits), suffix = name.substr(end);
    std::vector<std::string> lists;
    for (int i = 0; i < 4096; ++i) {
        const std::string candidate = folder + prefix + std::to_string(i) + suffix;
        if (!std::ifstream(candidate).good())
            break;
        lists.push_back(candidate);
    }
    if (std::find(lists.begin(), lists.end(), native) == lists.end())
        return {native};
    return lists;
}

// Which of this batch's pairs are verified, chosen over the whole plan.
std::vector<bool> choosePairs(const std::string& matchListPath, const std::vector<PairLine>& mine,
                              const PairSelection::Settings& settings, int threads, std::ostream& out)
{
    std::map<std::string, int> photoIndex;
    std::vector<std::string> keybs;
    std::map<std::pair<int, int>, size_t> pairIndex;
    std::vector<std::pair<int, int>> all;
    auto add = [&](const std::vector<PairLine>& lines) {
        for (const PairLine& p : lines) {
            int ends[2];
            for (int k = 0; k < 2; ++k) {
                const std::string f = ToolPaths::native(k ? p.featureB : p.featureA);
                const auto it = photoIndex.emplace(f, int(keybs.size())).first;
                if (it->second == int(keybs.size()))
                    keybs.push_back(f);
                ends[k] = it->second;
            }
            if (ends[0] != ends[1] && pairIndex.emplace(std::minmax(ends[0], ends[1]), all.size()).second)
                all.push_back({ends[0], ends[1]});
        }
    };
    for (const std::string& list : batchLists(matchListPath)) {
        std::vector<PairLine> lines;
        std::string ignored;
        if (readPairs(list, lines, ignored))
            add(lines);
    }
    add(mine);
    const PairSelection::Choice choice = PairSelection::choose(keybs, all, settings, threads);
    std::vector<bool> verify(mine.size(), true);
    for (size_t i = 0; i < mine.size(); ++i) {
        const int a = photoIndex.at(ToolPaths::native(mine[i].featureA));
        const int b = photoIndex.at(ToolPaths::native(mine[i].featureB));
        if (a != b)
            verify[i] = choice.verify[pairIndex.at(std::minmax(a, b))];
    }
    out << "Verifying " << std::count(verify.begin(), verify.end(), true) << " of " << mine.size()
        << " listed pair(s): " << choice.how << " (" << keybs.size() << " photos, "
        << std::count(choice.verify.begin(), choice.verify.end(), true) << " of " << all.size()
        << " pairs in all batches)" << std::endl;
    return verify;
}

} // namespace

std::string PairoloRun::gpuPathFor(const std::string& matchTablePath)
{
    const std::string native = ToolPaths::native(matchTablePath);
    const auto slash = native.rfind('/');
    if (slash == std::string::npos)
        return "gpu_" + native;
    return native.substr(0, slash + 1) + "gpu_" + native.substr(slash + 1);
}

int PairoloRun::run(const std::string& matchListPath, const std::string& matchTablePath,
                    const PairMatcher::Settings& settings, int threads, std::ostream& out, std::ostream& err,
                    const PairSelection::Settings& selection)
{
    std::vector<PairLine> pairs;
    std::string problem;
    if (!readPairs(matchListPath, pairs, problem)) {
        err << "Pairolo: " << problem << std::endl;
        return 1;
    }
    const std::vector<bool> verify = choosePairs(matchListPath, pairs, selection, threads, out);

    // Every feature file once, each made ready for matching on its own thread.
    std::map<std::string, size_t> imageIndex;
    std::vector<Image> images;
    std::vector<bool> needed;
    for (size_t i = 0; i < pairs.size(); ++i)
        for (const std::string* f : {&pairs[i].featureA, &pairs[i].featureB}) {
            const auto it = imageIndex.emplace(ToolPaths::native(*f), images.size()).first;
            if (it->second == images.size()) {
                images.push_back({*f, nullptr, {}, {}});
                needed.push_back(false);
            }
            if (verify[i])
                needed[it->second] = true;
        }
    if (threads <= 0)
        threads = ParallelFor::defaultThreads();
    const int previous = cv::getNumThreads();
    cv::setNumThreads(1);
    // Photos of pairs left unverified only need their names.
    ParallelFor::run(images.size(), threads, [&](size_t i) {
        FeatureSet features;
        size_t count = 0;
        const std::string path = ToolPaths::native(images[i].written);
        if (!(needed[i] ? KeybFile::readFile(path, features, &images[i].problem)
                        : KeybFile::readHeader(path, features, count, &images[i].problem)))
            return;
        images[i].imagePath = recordPath(images[i].written, features.imageName);
        if (needed[i])
            images[i].prepared = PairMatcher::prepare(features);
    });

    const PairMatcher matcher(settings);
    std::vector<PairMatcher::Result> results(pairs.size());
    std::mutex lock;
    ParallelFor::run(pairs.size(), threads, [&](size_t i) {
        const Image& a = images[imageIndex.at(ToolPaths::native(pairs[i].featureA))];
        const Image& b = images[imageIndex.at(ToolPaths::native(pairs[i].featureB))];
        if (!a.problem.empty() || !b.problem.empty()) {
            results[i].note = !a.problem.empty() ? a.problem : b.problem;
            return;
        }
        if (!verify[i])
            return;
        results[i] = matcher.match(*a.prepared, *b.prepared);
        std::lock_guard<std::mutex> guard(lock);
        out << GpuMatchFile::imageName(a.imagePath) << ' ' << GpuMatchFile::imageName(b.imagePath) << ": "
            << results[i].putative << " matches, " << results[i].inliers.size() << " verified"
            << (results[i].note.empty() ? "" : " (" + results[i].note + ")") << std::endl;
    });
    cv::setNumThreads(previous);

    // This run's verdict on its pairs replaces what earlier runs wrote about them.
    MatchTableFile table;
    GpuMatchFile records;
    const std::string tablePath = ToolPaths::native(matchTablePath);
    const std::string gpuPath = gpuPathFor(matchTablePath);
    std::string note;
    if (std::ifstream(tablePath).good() && !table.readFile(tablePath, &note))
        out << "Replacing the unreadable " << note << std::endl;
    if (std::ifstream(gpuPath).good() && !records.readFile(gpuPath, &note))
        out << "Replacing the unreadable " << note << std::endl;
    MatchTableFile newTable;
    GpuMatchFile newRecords;
    std::set<std::pair<int, int>> examinedPairs;
    std::set<std::pair<std::string, std::string>> examinedImages;
    int verified = 0, unusable = 0;
    std::string firstProblem;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const Image& a = images[imageIndex.at(ToolPaths::native(pairs[i].featureA))];
        const Image& b = images[imageIndex.at(ToolPaths::native(pairs[i].featureB))];
        if (!a.problem.empty() || !b.problem.empty()) {
            if (!unusable++)
                firstProblem = results[i].note;
            continue;
        }
        // A pair not worth verifying counts as examined, with no match.
        examinedPairs.insert(std::minmax(pairs[i].indexA, pairs[i].indexB));
        examinedImages.insert(std::minmax(ToolPaths::native(a.imagePath), ToolPaths::native(b.imagePath)));
        if (results[i].inliers.empty())
            continue;
        ++verified;
        MatchTableFile::Pair p{pairs[i].indexA, pairs[i].indexB, results[i].inliers};
        GpuMatchFile::Record r{a.imagePath, b.imagePath, {}, {}};
        for (const auto& m : results[i].inliers) {
            r.featuresA.push_back(m.first);
            r.featuresB.push_back(m.second);
        }
        newTable.pairs.push_back(std::move(p));
        newRecords.records.push_back(std::move(r));
    }
    table.pairs.erase(std::remove_if(table.pairs.begin(), table.pairs.end(),
                                     [&](const MatchTableFile::Pair& p) {
                                         return examinedPairs.count(std::minmax(p.first, p.second)) > 0;
                                     }),
                      table.pairs.end());
    records.records.erase(std::remove_if(records.records.begin(), records.records.end(),
                                         [&](const GpuMatchFile::Record& r) {
                                             return examinedImages.count(
                                                        std::minmax(ToolPaths::native(r.imageA),
                                                                    ToolPaths::native(r.imageB))) > 0;
                                         }),
                          records.records.end());
    table.merge(newTable);
    records.merge(newRecords);
    std::string why;
    if (!table.writeFile(tablePath, &why) || !records.writeFile(gpuPath, &why)) {
        err << "Pairolo: " << why << std::endl;
        return 1;
    }
    out << "Matched " << pairs.size() - size_t(unusable) << " pair(s), " << verified << " verified"
        << std::endl;
    if (unusable) {
        err << "Pairolo: " << unusable << " pair(s) could not be matched; first: " << firstProblem
            << std::endl;
        return 1;
    }
    // Photos that do not overlap are no fault of the input: a batch whose pairs
    // all fail verification is a result like any other.
    if (!pairs.empty() && verified == 0)
        out << "No verified pair among " << pairs.size() << " pair(s)" << std::endl;
    return 0;
}
