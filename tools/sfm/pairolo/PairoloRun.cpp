#include "PairoloRun.h"

#include <algorithm>
#include <charconv>
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

// A list index: a whole non-negative number.
bool index(const std::string& word, int& value)
{
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= 0;
}

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
                    const PairMatcher::Settings& settings, int threads, std::ostream& out, std::ostream& err)
{
    std::ifstream list(ToolPaths::native(matchListPath), std::ios::binary);
    if (!list) {
        err << "Pairolo: cannot read the pair list " << matchListPath << std::endl;
        return 1;
    }
    std::vector<PairLine> pairs;
    int number = 0;
    for (std::string line; std::getline(list, line);) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        // Feature paths that hold a blank stand in double quotes.
        std::vector<std::string> words;
        PairLine p;
        if (!ToolPaths::splitWords(line, words) || words.size() != 4 || !index(words[2], p.indexA) ||
            !index(words[3], p.indexB)) {
            err << "Pairolo: " << matchListPath << " line " << number
                << " is not \"featureA featureB indexA indexB\"" << std::endl;
            return 1;
        }
        p.featureA = words[0];
        p.featureB = words[1];
        pairs.push_back(p);
    }

    // Every feature file once, each made ready for matching on its own thread.
    std::map<std::string, size_t> imageIndex;
    std::vector<Image> images;
    for (const PairLine& p : pairs)
        for (const std::string* f : {&p.featureA, &p.featureB})
            if (imageIndex.emplace(ToolPaths::native(*f), images.size()).second)
                images.push_back({*f, nullptr, {}, {}});
    if (threads <= 0)
        threads = ParallelFor::defaultThreads();
    const int previous = cv::getNumThreads();
    cv::setNumThreads(1);
    ParallelFor::run(images.size(), threads, [&](size_t i) {
        FeatureSet features;
        if (!KeybFile::readFile(ToolPaths::native(images[i].written), features, &images[i].problem))
            return;
        images[i].imagePath = recordPath(images[i].written, features.imageName);
        images[i].prepared = PairMatcher::prepare(features);
    });

    const PairMatcher matcher(settings);
    std::vector<PairMatcher::Result> results(pairs.size());
    std::mutex lock;
    ParallelFor::run(pairs.size(), threads, [&](size_t i) {
        const Image& a = images[imageIndex.at(ToolPaths::native(pairs[i].featureA))];
        const Image& b = images[imageIndex.at(ToolPaths::native(pairs[i].featureB))];
        if (!a.prepared || !b.prepared) {
            results[i].note = !a.prepared ? a.problem : b.problem;
            return;
        }
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
        if (!a.prepared || !b.prepared) {
            if (!unusable++)
                firstProblem = results[i].note;
            continue;
        }
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
